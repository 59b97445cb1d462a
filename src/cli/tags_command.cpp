// `morrowdeck-cli tags`: the track values read from audio files, as a rebuilt database holds them.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/json_output.h"
#include "library/tag_reader.h"
#include "platform/path_text.h"

namespace morrowdeck::cli {

namespace {

struct TagsOptions {
    std::vector<std::string> files;
    bool json = false;
};

using Field = std::pair<const char*, const std::optional<std::string>*>;

std::vector<Field> textFields(const SeratoDatabase::Entry& entry) {
    return {
        {"title", &entry.title},           {"artist", &entry.artist},  {"album", &entry.album},
        {"genre", &entry.genre},           {"bpm", &entry.bpm},        {"key", &entry.key},
        {"length", &entry.length},         {"year", &entry.year},      {"bitrate", &entry.bitrate},
        {"sampleRate", &entry.sampleRate}, {"sizeStr", &entry.sizeStr}};
}

nlohmann::ordered_json entryJson(const SeratoDatabase::Entry& entry) {
    nlohmann::ordered_json json{{"path", entry.path},
                                {"ext", entry.ext},
                                {"added", entry.added},
                                {"mtime", entry.mtime},
                                {"sizeBytes", entry.sizeBytes}};
    for (const auto& [name, value] : textFields(entry)) {
        json[name] = *value ? nlohmann::ordered_json(**value) : nlohmann::ordered_json(nullptr);
    }
    return json;
}

int runTags(const TagsOptions& options) {
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    for (const auto& file : options.files) {
        const auto entry = SeratoDatabase::readTags(platform::toPath(file));
        if (options.json) {
            all.push_back({{"file", file}, {"entry", entryJson(entry)}});
            continue;
        }
        std::cout << file << "\n  ext: " << entry.ext << "\n  sizeBytes: " << entry.sizeBytes
                  << '\n';
        for (const auto& [name, value] : textFields(entry)) {
            if (*value) std::cout << "  " << name << ": " << **value << '\n';
        }
    }
    if (options.json) printJson(std::cout, all);
    return exitOk;
}

}  // namespace

void registerTagsCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<TagsOptions>();
    CLI::App* command = app.add_subcommand(
        "tags", "Show the track values read from audio files, as a rebuilt database holds them");
    command->add_option("FILE", options->files, "Audio files")->required();
    command->add_flag("--json", options->json, "Print one JSON document");
    command->callback([options, &status] { status = runTags(*options); });
}

}  // namespace morrowdeck::cli
