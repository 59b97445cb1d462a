// Parses arbitrary bytes as a library snapshot; what it yields must survive a write and
// re-parse unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "library/serato_database.h"

using namespace morrowdeck;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto map = SeratoDatabase::parseSnapshot({data, size});
    std::vector<SeratoDatabase::SnapshotPair> pairs;
    for (const auto& [relPath, record] : map)
        pairs.push_back({relPath, record});
    if (SeratoDatabase::parseSnapshot(SeratoDatabase::snapshot(pairs)) != map) std::abort();
    return 0;
}
