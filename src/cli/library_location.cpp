#include "cli/library_location.h"

#include "library/serato_library.h"
#include "platform/path_text.h"

namespace morrowdeck::cli {

std::optional<std::filesystem::path> resolveLibraryOption(const std::string& option) {
    const std::filesystem::path location =
        option.empty() ? SeratoLibrary::defaultLibraryLocation() : platform::toPath(option);
    return SeratoLibrary::resolveLibrary(std::filesystem::absolute(location).lexically_normal());
}

}  // namespace morrowdeck::cli
