// The whole product through its binaries: make a demo library, back it up, restore it into a
// fresh audio folder and Serato library, and compare what comes back.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "library/serato_database.h"
#include "platform/file_system.h"
#include "run_cli.h"

namespace morrowdeck::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// Crate file name -> the file names of its tracks, for every crate with tracks.
void filesByCrate(const std::vector<Crate::Ptr>& crates,
                  std::map<std::string, std::set<std::string>>& out) {
    for (const auto& crate : crates) {
        for (const auto& track : crate->tracks)
            out[crate->crateFileURL.value_or("").filename()].insert(fs::path(track).filename());
        filesByCrate(crate->children, out);
    }
}

std::vector<SeratoDatabase::Record> recordsOf(const fs::path& database) {
    return SeratoDatabase::records(platform::readFile(database).value_or(SeratoDatabase::Bytes{}));
}

TEST(RoundTrip, DemoLibraryComesBackThroughTheCli) {
    TempDir dir;
    const ScopedHome home(dir / "home");  // not the database of whoever runs the test
    const fs::path library = dir / "demo" / "_Serato_", backup = dir / "backup";
    const fs::path audio = dir / "audio", serato = dir / "serato";
    ASSERT_EQ(runCli({dir / "demo", "--tracks", "24"}, MORROWDECK_DEMO_LIBRARY).status, 0);
    EXPECT_EQ(runCli({dir / "demo"}, MORROWDECK_DEMO_LIBRARY).status, 2);  // never over one
    ASSERT_EQ(runCli({"backup", "--library", library, "--to", backup, "--dedup"}).status, 0);
    const auto restore = [&](std::vector<std::string> extra) {
        extra.insert(extra.begin(),
                     {"restore", "--from", backup, "--audio-to", audio, "--serato", serato});
        return runCli(extra);
    };
    const auto restored = restore({});
    ASSERT_EQ(restored.status, 0) << restored.err;

    std::map<std::string, std::set<std::string>> before, after;
    filesByCrate(SeratoLibrary::loadCrates(library), before);
    filesByCrate(SeratoLibrary::loadCrates(serato / "_Serato_"), after);
    EXPECT_GE(before.size(), 5u);
    EXPECT_EQ(after, before);

    // One record per restored copy, each Serato's own with only its path changed.
    std::map<std::string, SeratoDatabase::Bytes> original;  // by file name
    for (auto& record : recordsOf(library / "database V2"))
        original[fs::path(record.path).filename()] = record.record;
    const auto rebuilt = recordsOf(serato / "_Serato_" / "database V2");
    for (const auto& record : rebuilt)
        EXPECT_EQ(record.record, SeratoDatabase::record(original[fs::path(record.path).filename()],
                                                        record.path)) << record.path;
    std::vector<fs::path> copies;
    for (const auto& entry : fs::recursive_directory_iterator(audio))
        if (entry.is_regular_file() && entry.path().extension() == ".wav")
            copies.push_back(entry.path());
    ASSERT_GE(copies.size(), 24u);
    EXPECT_EQ(rebuilt.size(), copies.size());

    EXPECT_EQ(restore({"--keep-existing", "--no-rebuild"}).status, 0);
    fs::remove(copies[0]);
    fs::create_directories(copies[0] / "blocked");
    const auto failed = restore({"--json"});
    EXPECT_EQ(failed.status, 1);  // one file could not be restored
    EXPECT_TRUE(Json::accept(failed.out)) << failed.out;
}

}  // namespace
}  // namespace morrowdeck::test
