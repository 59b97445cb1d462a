// Reads arbitrary bytes as a crate file; whatever it yields must survive a write and re-read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "library/crate_parser.h"
#include "library/crate_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto paths = morrowdeck::CrateParser::trackPaths({data, size}, "/media/dj/USB");
    std::vector<std::string> relative;
    for (const auto& path : paths) {
        if (path.rfind("/media/dj/USB/", 0) != 0) std::abort();
        relative.push_back(morrowdeck::CrateWriter::volumeRelativePath(path, "/media/dj/USB"));
    }
    if (morrowdeck::CrateParser::trackPaths(morrowdeck::CrateWriter::crateData(relative),
                                            "/media/dj/USB") != paths)
        std::abort();
    return 0;
}
