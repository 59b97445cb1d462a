#include "cli/file_inspector.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

#include "cli/master_database_summary.h"
#include "engine/backup_catalog.h"
#include "engine/backup_layout.h"
#include "engine/replaced_runs.h"
#include "library/bounded_read.h"
#include "library/crate_parser.h"
#include "library/serato_database.h"
#include "library/serato_folder.h"
#include "library/serato_sql.h"
#include "library/serato_sql_json.h"
#include "library/text_encoding.h"
#include "platform/file_system.h"
#include "platform/path_text.h"

namespace morrowdeck::cli {

namespace {

using Json = nlohmann::ordered_json;
using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

constexpr std::size_t kSummaryLines = 10;

std::string hex(ByteView bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (auto byte : bytes) {
        out.push_back(digits[byte >> 4]);
        out.push_back(digits[byte & 0x0F]);
    }
    return out;
}

bool startsWith(ByteView bytes, std::string_view prefix) {
    return bytes.size() >= prefix.size() &&
           std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

// The tag and decoded text of the first chunk, when there is one.
std::pair<std::string, std::optional<std::string>> firstChunk(ByteView bytes) {
    std::pair<std::string, std::optional<std::string>> first;
    bool seen = false;
    SeratoDatabase::eachChunk(bytes, [&](std::string_view tag, ByteView payload) {
        if (seen) return;
        seen = true;
        first = {std::string(tag), text::decodeUtf16BE(payload)};
    });
    return first;
}

// One field of a database record in its most readable form.
Json fieldJson(std::string_view tag, ByteView payload) {
    Json field{{"tag", tag}};
    const char kind = tag.empty() ? '\0' : tag[0];
    if (kind == 't' || kind == 'p') {
        if (auto value = text::decodeUtf16BE(payload)) {
            field["text"] = *value;
            return field;
        }
    } else if (kind == 'u' && payload.size() == 4) {
        field["u32"] = SeratoDatabase::readU32(payload);
        return field;
    } else if (kind == 'b' && payload.size() == 1) {
        field["byte"] = payload[0];
        return field;
    }
    field["hex"] = hex(payload);
    return field;
}

void appendMore(std::ostringstream& out, std::size_t shown, std::size_t total) {
    if (total > shown) out << "  … and " << (total - shown) << " more\n";
}

// The libraries a backup holds, from its catalog: each one's volume and how many files of the
// backup came from it.
Json backupMembers(const std::filesystem::path& folder, std::ostringstream& summary) {
    Json members = Json::array();
    const auto catalog = BackupCatalog::read(folder);
    if (!catalog || catalog->members.empty()) return members;
    std::vector<std::size_t> files(catalog->members.size());
    for (const auto& track : catalog->tracks)
        ++files[track.member];
    summary << "Libraries:\n";
    for (std::size_t i = 0; i < catalog->members.size(); ++i) {
        const auto& member = catalog->members[i];
        members.push_back(Json{{"name", member.name},
                               {"library", member.library},
                               {"label", member.label},
                               {"uuid", member.uuid},
                               {"fileSystem", member.fileSystem},
                               {"mountPoint", member.mountPoint},
                               {"lastBackedUp", member.lastBackedUp},
                               {"files", files[i]}});
        summary << "  " << member.name << ": " << files[i] << (files[i] == 1 ? " file" : " files")
                << " \u2022 label " << (member.label.empty() ? "(none)" : member.label)
                << " \u2022 UUID " << (member.uuid.empty() ? "(unknown)" : member.uuid)
                << " \u2022 mounted at " << member.mountPoint << " \u2022 last backed up "
                << member.lastBackedUp << '\n';
    }
    return members;
}

// A backup folder: the libraries it holds and the runs whose replaced files it keeps.
Inspection inspectBackupFolder(const std::filesystem::path& folder) {
    const auto runs = ReplacedRuns::list(folder);
    Json kept = Json::array();
    std::ostringstream summary;
    Json members = backupMembers(folder, summary);
    summary << "Morrowdeck backup: " << runs.size() << (runs.size() == 1 ? " run" : " runs")
            << " with replaced files kept in " << BackupLayout::metadataFolder << '/'
            << BackupLayout::replacedFolder << '\n';
    for (const auto& run : runs) {
        kept.push_back(Json{{"run", run.name}, {"files", run.files}});
        summary << "  " << run.name << ": " << run.files.size()
                << (run.files.size() == 1 ? " file\n" : " files\n");
        for (std::size_t i = 0; i < std::min(run.files.size(), kSummaryLines); ++i)
            summary << "    " << run.files[i] << '\n';
        appendMore(summary, std::min(run.files.size(), kSummaryLines), run.files.size());
    }
    return {Json{{"kind", "backup"}, {"members", std::move(members)}, {"replaced", std::move(kept)}},
            summary.str()};
}

Inspection inspectCrate(ByteView bytes, const std::string& version) {
    Json chunks = Json::array();
    SeratoDatabase::eachChunk(bytes,
                              [&](std::string_view tag, ByteView) { chunks.push_back(tag); });
    const auto tracks = CrateParser::storedPaths(bytes);

    std::ostringstream summary;
    summary << "Crate file (" << version << "): " << tracks.size()
            << (tracks.size() == 1 ? " track, " : " tracks, ") << chunks.size() << " chunks\n";
    for (std::size_t i = 0; i < std::min(tracks.size(), kSummaryLines); ++i)
        summary << "  " << tracks[i] << '\n';
    appendMore(summary, std::min(tracks.size(), kSummaryLines), tracks.size());
    return {Json{{"kind", "crate"},
                 {"version", version},
                 {"tracks", tracks},
                 {"chunks", std::move(chunks)}},
            summary.str()};
}

Inspection inspectDatabase(ByteView bytes, const std::string& version) {
    Json records = Json::array();
    std::ostringstream lines;
    SeratoDatabase::eachChunk(bytes, [&](std::string_view tag, ByteView record) {
        if (tag != "otrk") return;
        Json fields = Json::array();
        SeratoDatabase::eachChunk(record, [&](std::string_view field, ByteView payload) {
            fields.push_back(fieldJson(field, payload));
        });
        const auto path = SeratoDatabase::pfil(record);
        if (records.size() < kSummaryLines) {
            lines << "  " << path.value_or("(no path)") << " — " << fields.size() << " fields\n";
        }
        records.push_back(
            Json{{"path", path ? Json(*path) : Json(nullptr)}, {"fields", std::move(fields)}});
    });
    std::ostringstream summary;
    summary << "Serato database (" << version << "): " << records.size() << " records\n"
            << lines.str();
    appendMore(summary, std::min(records.size(), kSummaryLines), records.size());
    return {Json{{"kind", "database"}, {"version", version}, {"records", std::move(records)}},
            summary.str()};
}

Inspection inspectSnapshot(ByteView bytes) {
    Json entries = Json::array();
    std::ostringstream lines;
    for (const auto& [relPath, record] : SeratoDatabase::parseSnapshot(bytes)) {
        const auto path = SeratoDatabase::pfil(record);
        if (entries.size() < kSummaryLines)
            lines << "  " << relPath << " → " << path.value_or("(no path)") << '\n';
        entries.push_back(Json{{"relPath", relPath}, {"path", path ? Json(*path) : Json(nullptr)}});
    }
    std::ostringstream summary;
    summary << "Library snapshot: " << entries.size() << " entries\n" << lines.str();
    appendMore(summary, std::min(entries.size(), kSummaryLines), entries.size());
    return {Json{{"kind", "snapshot"}, {"entries", std::move(entries)}}, summary.str()};
}

std::optional<Inspection> inspectCrateOrder(ByteView bytes, bool namedLikeOne) {
    if (startsWith(bytes, "\xFE\xFF")) bytes = bytes.subspan(2);
    const auto decoded = text::decodeUtf16BE(bytes);
    if (!decoded || (!namedLikeOne && !decoded->starts_with("[begin record]"))) return std::nullopt;

    std::vector<std::string> lines;
    std::istringstream in(*decoded);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    std::ostringstream summary;
    summary << "Crate order file: " << lines.size() << " lines\n";
    for (const auto& line : lines)
        summary << "  " << line << '\n';
    return Inspection{Json{{"kind", "crateOrder"}, {"lines", lines}}, summary.str()};
}

std::string librarySummary(const char* title, const SeratoSQL::Library& library) {
    std::ostringstream summary;
    summary << title << ": " << library.assets.size()
            << " tracks with ratings, colours or play counts, " << library.smartCrates.size()
            << " smart crates\n";
    std::size_t shown = 0;
    for (const auto& crate : library.smartCrates) {
        if (shown++ == kSummaryLines) break;
        summary << "  smart crate " << crate.name << '\n';
    }
    return summary.str();
}

Inspection inspectLibrary(const char* kind, const char* title, const SeratoSQL::Library& library) {
    return {Json{{"kind", kind}, {"library", Json(SeratoSQL::toJson(library))}},
            librarySummary(title, library)};
}

bool isSqlite(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    char header[16] = {};
    return in.read(header, sizeof header) && std::memcmp(header, "SQLite format 3\0", 16) == 0;
}

}  // namespace

std::optional<Inspection> inspectFile(const std::filesystem::path& file) {
    if (platform::isDirectory(file / BackupLayout::metadataFolder))
        return inspectBackupFolder(file);
    if (!platform::isRegularFile(file)) return std::nullopt;
    if (isSqlite(file)) {
        const auto library = SeratoSQL::read(file);
        if (!library) return std::nullopt;
        auto inspection = inspectLibrary("sqlite", "Serato SQLite database", *library);
        MasterDatabase::Options options;
        options.readAssets = false;  // counted only
        const auto database = MasterDatabase::read(file, options);
        if (database.opened) {
            describeMasterDatabase(database, inspection.document, inspection.summary);
            describeDifferingCrates(file, database, inspection.document, inspection.summary);
        }
        return inspection;
    }

    // A file too large to be any of these is not read: it is no file inspect knows.
    std::vector<std::uint8_t> read;
    if (platform::readFileAtMost(file, maxMetadataBytes, read) != 0) return std::nullopt;
    const auto bytes = std::optional(std::move(read));
    const std::string name = platform::toUtf8(file.filename());
    const std::string extension = platform::toUtf8(file.extension());
    const auto hasExtension = [&](std::string_view ext) {
        return !extension.empty() && std::string_view(extension).substr(1) == ext;
    };

    const auto firstText =
        std::find_if(bytes->begin(), bytes->end(), [](std::uint8_t c) { return !std::isspace(c); });
    if (firstText != bytes->end() && *firstText == '{') {
        const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        if (const auto library = SeratoSQL::decodeJson(text)) {
            return inspectLibrary("metadata", "Metadata file", *library);
        }
        return std::nullopt;
    }

    const auto [tag, version] = firstChunk(*bytes);
    if (tag == "vrsn" && version) {
        if (version->find("Database") != std::string::npos)
            return inspectDatabase(*bytes, *version);
        if (version->find("Crate") != std::string::npos) return inspectCrate(*bytes, *version);
        if (hasExtension(SeratoFolder::crateExtension) ||
            hasExtension(SeratoFolder::smartCrateExtension))
            return inspectCrate(*bytes, *version);
        if (name.starts_with(SeratoFolder::databaseFile)) return inspectDatabase(*bytes, *version);
    }
    const bool snapshotName =
        extension == platform::toUtf8(platform::toPath(BackupLayout::snapshotFileName).extension());
    if (tag == "bkrp" || (bytes->empty() && snapshotName)) return inspectSnapshot(*bytes);
    return inspectCrateOrder(*bytes, name.starts_with(SeratoFolder::crateOrderFile));
}

}  // namespace morrowdeck::cli
