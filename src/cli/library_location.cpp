#include "cli/library_location.h"

#include "library/library_finder.h"
#include "library/serato_library.h"
#include "platform/path_text.h"

namespace morrowdeck::cli {

std::optional<std::filesystem::path> resolveLibraryOption(const std::string& option) {
    const std::filesystem::path location =
        option.empty() ? SeratoLibrary::defaultLibraryLocation() : platform::toPath(option);
    return SeratoLibrary::resolveLibrary(std::filesystem::absolute(location).lexically_normal());
}

std::optional<std::vector<std::filesystem::path>> resolveLibraries(
    const std::vector<std::string>& options, bool all, std::string& error) {
    std::vector<std::filesystem::path> libraries;
    if (all) {
        for (const auto& found : LibraryFinder::find(LibraryFinder::Places::system()))
            libraries.push_back(found.folder);
        if (libraries.empty() && options.empty()) {
            error = "No Serato library found.";
            return std::nullopt;
        }
    }
    std::vector<std::string> locations = options;
    if (locations.empty() && !all) locations.emplace_back();
    for (const auto& location : locations) {
        const auto library = resolveLibraryOption(location);
        if (!library) {
            error = locations.size() == 1 ? std::string(noLibraryMessage)
                                          : "No _Serato_ folder found at " + location + ".";
            return std::nullopt;
        }
        libraries.push_back(*library);
    }
    return libraries;
}

}  // namespace morrowdeck::cli
