// Splits arbitrary bytes as database V2: every record must re-join into a file that splits
// back into the same records, and rewriting a path must keep the record readable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "library/serato_database.h"

using namespace morrowdeck;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto list = SeratoDatabase::records({data, size});
    std::vector<SeratoDatabase::Bytes> payloads;
    for (const auto& entry : list) {
        payloads.push_back(entry.record);
        const auto rewritten = SeratoDatabase::record(entry.record, "Restored/a.mp3");
        if (SeratoDatabase::pfil(rewritten) != "Restored/a.mp3") std::abort();
    }
    const auto again = SeratoDatabase::records(SeratoDatabase::data(payloads));
    if (again.size() != list.size()) std::abort();
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (again[i].path != list[i].path || again[i].record != list[i].record) std::abort();
    }
    return 0;
}
