// Reads arbitrary bytes as a crate order file: every name it yields that fits on one line
// must survive a write and re-read, in order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "library/crate_order.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using morrowdeck::CrateOrder::parse;
    const auto names = parse({data, size});
    std::vector<std::string> writable;
    for (const auto& name : names) {
        if (name.empty()) std::abort();
        if (name.find_first_of("\r\n") == std::string::npos) writable.push_back(name);
    }
    if (parse(morrowdeck::CrateOrder::data(names)) != writable) std::abort();
    return 0;
}
