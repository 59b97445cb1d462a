#include "library/serato_folder.h"

#include "platform/home_folder.h"

namespace morrowdeck::SeratoFolder {

std::string crateBaseName(const std::vector<std::string>& components) {
    std::string joined;
    for (const auto& component : components) {
        if (!joined.empty()) joined += hierarchySeparator;
        joined += component;
    }
    return joined;
}

std::string crateFileName(const std::vector<std::string>& components, bool isSmart) {
    return crateBaseName(components) + "." +
           std::string(isSmart ? smartCrateExtension : crateExtension);
}

std::filesystem::path masterDatabase() {
    return masterDatabase(platform::homeFolder());
}

std::filesystem::path masterDatabase(const std::filesystem::path& home) {
    return home / platform::applicationDataBelowHome() / "Serato/Library/master.sqlite";
}

}  // namespace morrowdeck::SeratoFolder
