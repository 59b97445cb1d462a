// Edits arbitrary bytes as a crate file and as database V2. Moving every track path and back
// gives the input byte for byte; appended tracks follow the input's complete chunks; a merged
// record replaces the records of its path in place or follows the others.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "library/crate_parser.h"
#include "library/crate_writer.h"
#include "library/serato_database.h"
#include "library/unicode_text.h"

using namespace morrowdeck;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    const auto move = [](const std::string& path) { return std::optional("Moved/" + path); };
    const auto back = [](const std::string& path) { return std::optional(path.substr(6)); };
    const auto moved = CrateWriter::rewriteTrackPaths(input, move);
    if (!std::ranges::equal(CrateWriter::rewriteTrackPaths(moved, back), input)) std::abort();

    auto paths = CrateParser::storedPaths(input);
    paths.push_back("added.mp3");
    const auto appended = CrateWriter::appendTracks(input, {"added.mp3"});
    if (CrateParser::storedPaths(appended) != paths) std::abort();

    const std::string path = "Restored/a.mp3";
    const auto added = SeratoDatabase::record({}, path);
    std::vector<SeratoDatabase::Bytes> expected;
    bool replaced = false;
    for (const auto& record : SeratoDatabase::records(input)) {
        const bool same = text::nfcKey(record.path) == path;
        expected.push_back(same ? added : record.record);
        replaced = replaced || same;
    }
    if (!replaced) expected.push_back(added);
    const auto merged = SeratoDatabase::records(SeratoDatabase::merge(input, {added}));
    if (merged.size() != expected.size()) std::abort();
    for (std::size_t i = 0; i < merged.size(); ++i)
        if (merged[i].record != expected[i]) std::abort();
    return 0;
}
