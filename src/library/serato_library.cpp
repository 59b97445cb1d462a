#include "library/serato_library.h"

#include <algorithm>

#include "library/bounded_read.h"
#include "library/crate_parser.h"
#include "library/foreign_volumes.h"
#include "library/database_crates.h"
#include "library/master_database.h"
#include "library/name_order.h"
#include "library/serato_folder.h"
#include "library/tree_builder.h"
#include "library/unicode_text.h"
#include "platform/file_system.h"
#include "platform/home_folder.h"
#include "platform/path_text.h"
#include "platform/volumes.h"

namespace morrowdeck::SeratoLibrary {

namespace {

std::string lastComponent(const std::filesystem::path& path) {
    std::string text = platform::toUtf8(path);
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return platform::toUtf8(platform::toPath(text).filename());
}

std::string lowercaseAscii(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

// Reads one sub-folder of the library into the builder.
void ingest(TreeBuilder& builder, const std::filesystem::path& folder, std::string_view ext,
            const std::vector<std::string>& prefix, bool isSmart, std::string_view volumePrefix,
            ForeignVolumes& volumes, std::vector<std::string>* warnings) {
    // Crate names may start with a dot (Serato lists a smart crate named "..."), so hidden
    // entries are listed too. Of those, only macOS companion files ("._Name.crate") are not
    // crates; ".DS_Store" and the like fail the extension check below.
    auto names = platform::listDirectory(folder, platform::HiddenEntries::include);
    if (!names) return;

    struct Candidate {
        std::string name;
        std::string baseName;
    };
    std::vector<Candidate> candidates;
    for (auto& name : *names) {
        if (name.starts_with("._")) continue;
        const std::size_t dot = name.rfind('.');
        if (dot == std::string::npos ||
            lowercaseAscii(std::string_view(name).substr(dot + 1)) != ext)
            continue;
        candidates.push_back({name, name.substr(0, dot)});
    }
    // Names equal in the name order (one name in both normalisation forms) keep byte order,
    // so that the crate they merge into reads them in the same order on every machine.
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        if (text::nameLess(a.name, b.name)) return true;
        return !text::nameLess(b.name, a.name) && a.name < b.name;
    });

    std::vector<std::uint8_t> bytes;  // reused for every file of the folder
    for (const auto& candidate : candidates) {
        auto components = nameComponents(candidate.baseName);
        if (components.empty()) continue;  // skipped without reading
        components.insert(components.begin(), prefix.begin(), prefix.end());

        const std::filesystem::path file = folder / platform::toPath(candidate.name);
        std::vector<std::string> tracks;
        ReadReport report;
        if (const int error = platform::readFileAtMost(file, maxCrateBytes, bytes); error == 0) {
            tracks = CrateParser::trackPaths(bytes, volumePrefix, &report);
            for (auto& track : tracks)
                track = volumes.map(std::move(track));
            if (warnings != nullptr && report.damaged())
                warnings->push_back(
                    report.warning(isSmart ? "Smart crate file" : "Crate file", file, "track"));
        } else if (warnings != nullptr) {
            warnings->push_back(
                std::string("Couldn't read the ") + (isSmart ? "smart crate" : "crate") + " file " +
                platform::toUtf8(file) + " (" + unreadableReason(error, maxCrateBytes) +
                "); its crate is listed without tracks.");
        }
        builder.insert(components, file, isSmart, std::move(tracks));
    }
}

// Calls `visit` for every crate of the forest, parents before their children.
template <typename Visit>
void eachCrate(const std::vector<Crate::Ptr>& crates, Visit&& visit) {
    for (const auto& crate : crates) {
        visit(*crate);
        eachCrate(crate->children, visit);
    }
}

}  // namespace

std::optional<std::filesystem::path> resolveLibrary(const std::filesystem::path& at) {
    if (text::nfcKey(lastComponent(at)) == SeratoFolder::name && platform::isDirectory(at))
        return at;
    const std::filesystem::path child = at / SeratoFolder::name;
    if (platform::isDirectory(child)) return child;
    return std::nullopt;
}

std::filesystem::path defaultLibraryLocation() {
    return platform::homeFolder() / "Music" / SeratoFolder::name;
}

std::string volumeMountPrefix(const std::filesystem::path& path) {
    return platform::volumeMountPoint(path);
}

std::vector<std::string> nameComponents(std::string_view baseName) {
    std::vector<std::string> components;
    std::size_t start = 0;
    for (;;) {
        const std::size_t separator = baseName.find(SeratoFolder::hierarchySeparator, start);
        const std::string_view piece =
            baseName.substr(start, separator == std::string_view::npos ? std::string_view::npos
                                                                       : separator - start);
        std::string trimmed = text::trimSeparators(piece);
        if (!trimmed.empty()) components.push_back(std::move(trimmed));
        if (separator == std::string_view::npos) break;
        start = separator + SeratoFolder::hierarchySeparator.size();
    }
    return components;
}

LoadedCrates load(const std::filesystem::path& from, const LoadOptions& options,
                  std::vector<std::string>* warnings) {
    const std::string prefix = options.volumePrefix.value_or(volumeMountPrefix(from));
    TreeBuilder builder;
    ForeignVolumes volumes;
    ingest(builder, from / SeratoFolder::crateFolder, SeratoFolder::crateExtension, {}, false,
           prefix, volumes, warnings);
    ingest(builder, from / SeratoFolder::smartCrateFolder, SeratoFolder::smartCrateExtension,
           {std::string(smartCratesGroup)}, true, prefix, volumes, warnings);

    LoadedCrates loaded;
    const auto file = options.masterDatabase.value_or(SeratoFolder::masterDatabase());
    if (platform::fileExists(file)) {
        MasterDatabase::Options read;
        read.readAssets = false;  // the tracks' metadata is not shown here
        read.busyTimeout = options.busyTimeout;
        loaded.databaseRead = DatabaseCrates::insert(builder, MasterDatabase::read(file, read),
                                                     file, prefix, warnings);
    }
    loaded.forest = builder.sortedForest();
    if (warnings != nullptr) {
        std::string differing;
        eachCrate(loaded.forest, [&](const Crate& crate) {
            if (!crate.listsDiffer) return;
            differing += differing.empty() ? "" : ", ";
            for (std::size_t i = 0; i < crate.components.size(); ++i)
                differing += (i == 0 ? "" : "/") + crate.components[i];
        });
        if (!differing.empty())
            warnings->push_back("These crates list other tracks in Serato's database than in "
                                "their crate files: " + differing +
                                ". The database's lists are shown; a backup keeps both.");
    }
    return loaded;
}

std::vector<Crate::Ptr> loadCrates(const std::filesystem::path& from,
                                   std::vector<std::string>* warnings) {
    return load(from, {}, warnings).forest;
}

}  // namespace morrowdeck::SeratoLibrary
