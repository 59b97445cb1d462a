#include "restore/undo_index.h"

#include <chrono>
#include <cstdio>
#include <unordered_map>

#include "library/bounded_json.h"
#include "library/bounded_read.h"
#include "library/sqlite_copy.h"
#include "platform/file_operations.h"
#include "platform/path_text.h"

namespace morrowdeck {

namespace {

using nlohmann::json;
using Entry = UndoIndex::Entry;

constexpr std::pair<Entry::Kind, const char*> kindNames[] = {
    {Entry::Kind::serato, "serato"},
    {Entry::Kind::audio, "audio"},
    {Entry::Kind::database, "database"},
    {Entry::Kind::folder, "folder"},
};

json contentJson(const UndoIndex::Content& content) {
    json value{{"size", content.size}, {"mtimeNs", content.mtimeNs}};
    if (content.hash) value["hash"] = content.hash->hex();
    return value;
}

std::optional<UndoIndex::Content> contentOf(const json& value) {
    if (!value.is_object()) return std::nullopt;
    const auto size = value.find("size");
    const auto mtime = value.find("mtimeNs");
    if (size == value.end() || !size->is_number_integer() || mtime == value.end() ||
        !mtime->is_number_integer())
        return std::nullopt;
    UndoIndex::Content content{size->get<std::int64_t>(), mtime->get<std::int64_t>(), {}};
    if (const auto hash = value.find("hash"); hash != value.end()) {
        if (!hash->is_string()) return std::nullopt;
        content.hash = ContentHash::fromHex(hash->get<std::string>());
        if (!content.hash) return std::nullopt;
    }
    return content;
}

json entryJson(const Entry& entry) {
    json value{{"path", platform::toUtf8(entry.path)},
               {"action", entry.action == Entry::Action::created ? "created" : "replaced"}};
    for (const auto& [kind, name] : kindNames)
        if (kind == entry.kind) value["kind"] = name;
    if (!entry.saved.empty()) value["saved"] = entry.saved;
    if (entry.before) value["before"] = contentJson(*entry.before);
    if (entry.after) value["after"] = contentJson(*entry.after);
    return value;
}

std::optional<Entry> entryOf(const json& value) {
    if (!value.is_object()) return std::nullopt;
    const auto text = [&](const char* key) -> std::optional<std::string> {
        const auto found = value.find(key);
        if (found == value.end() || !found->is_string()) return std::nullopt;
        return found->get<std::string>();
    };
    const auto path = text("path");
    const auto action = text("action");
    const auto kind = text("kind");
    if (!path || path->empty() || !action || !kind) return std::nullopt;
    Entry entry;
    entry.path = platform::toPath(*path);
    if (*action == "created") entry.action = Entry::Action::created;
    else if (*action == "replaced") entry.action = Entry::Action::replaced;
    else return std::nullopt;
    bool known = false;
    for (const auto& [k, name] : kindNames)
        if (*kind == name) entry.kind = k, known = true;
    if (!known) return std::nullopt;
    entry.saved = text("saved").value_or("");
    // A saved copy stays inside its run folder: no root (on Windows "/x" and "D:x" are not
    // absolute, yet joined to the run folder they leave it), no step up.
    const std::filesystem::path saved = platform::toPath(entry.saved);
    if (saved.has_root_path()) return std::nullopt;
    for (const auto& part : saved)
        if (part == "..") return std::nullopt;
    for (const auto& [key, slot] : {std::pair{"before", &entry.before}, {"after", &entry.after}}) {
        if (const auto found = value.find(key); found != value.end()) {
            *slot = contentOf(*found);
            if (!*slot) return std::nullopt;
        }
    }
    return entry;
}

}  // namespace

std::string UndoIndex::idFor(std::int64_t nanosecondsSince1970) {
    using namespace std::chrono;
    const sys_seconds time = floor<seconds>(sys_time<nanoseconds>(nanoseconds(nanosecondsSince1970)));
    const auto day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss clock(time - day);
    char text[24];
    std::snprintf(text, sizeof text, "%04d%02u%02uT%02d%02d%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

std::string UndoIndex::toJson() const {
    json entriesJson = json::array();
    for (const auto& entry : entries)
        entriesJson.push_back(entryJson(entry));
    const json value{{"id", id},
                     {"kind", kind == Kind::restore ? "restore" : "apply"},
                     {"startedNs", startedNs},
                     {"finished", finished},
                     {"undone", undone},
                     {"entries", std::move(entriesJson)}};
    return value.dump(1, '\t', false, json::error_handler_t::replace) + "\n";
}

std::string UndoIndex::journalLine(const Entry& entry) {
    return entryJson(entry).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<UndoIndex> UndoIndex::parse(std::string_view text) {
    const json value = parseBoundedJson(text);
    if (value.is_discarded() || !value.is_object()) return std::nullopt;
    const auto id = value.find("id");
    const auto kind = value.find("kind");
    const auto started = value.find("startedNs");
    const auto entriesJson = value.find("entries");
    if (id == value.end() || !id->is_string() || kind == value.end() || !kind->is_string() ||
        started == value.end() || !started->is_number_integer() || entriesJson == value.end() ||
        !entriesJson->is_array())
        return std::nullopt;
    UndoIndex index;
    index.id = id->get<std::string>();
    const std::string kindText = kind->get<std::string>();
    if (kindText == "restore") index.kind = Kind::restore;
    else if (kindText == "apply") index.kind = Kind::apply;
    else return std::nullopt;
    index.startedNs = started->get<std::int64_t>();
    const auto flag = [&](const char* key) {
        const auto found = value.find(key);
        return found != value.end() && found->is_boolean() && found->get<bool>();
    };
    index.finished = flag("finished");
    index.undone = flag("undone");
    for (const auto& item : *entriesJson) {
        auto entry = entryOf(item);
        if (!entry) return std::nullopt;
        index.entries.push_back(std::move(*entry));
    }
    return index;
}

std::optional<UndoIndex> UndoIndex::read(const std::filesystem::path& runFolder) {
    std::string reason;
    const auto bytes = readBoundedFile(runFolder / indexFile, maxMetadataBytes, reason);
    if (!bytes) return std::nullopt;
    auto index = parse(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    if (!index) return std::nullopt;
    const auto journal = readBoundedFile(runFolder / journalFile, maxMetadataBytes, reason);
    if (!journal) return index;
    const std::string_view text(reinterpret_cast<const char*>(journal->data()), journal->size());
    // A later line for the same path tells what became of that write: it takes the earlier
    // one's place.
    std::unordered_map<std::string, std::size_t> slot;
    for (std::size_t i = 0; i < index->entries.size(); ++i)
        slot.emplace(platform::toUtf8(index->entries[i].path), i);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) break;  // a torn last line: the write never ended
        const json value = parseBoundedJson(text.substr(start, end - start));
        start = end + 1;
        if (value.is_discarded()) continue;
        auto entry = entryOf(value);
        if (!entry) continue;
        const auto [found, fresh] =
            slot.emplace(platform::toUtf8(entry->path), index->entries.size());
        if (fresh) index->entries.push_back(std::move(*entry));
        else index->entries[found->second] = std::move(*entry);
    }
    return index;
}

std::optional<UndoIndex::Content> UndoIndex::databaseContent(const std::filesystem::path& file) {
    const auto info = platform::fileInfo(file);
    if (!info) return std::nullopt;
    ContentHasher hasher;
    if (!readSqliteContent(file, [&](std::span<const std::uint8_t> data) { hasher.update(data); })
             .empty())
        return std::nullopt;
    return Content{info->size, info->mtime.time_since_epoch().count(), hasher.digest()};
}

std::int64_t UndoIndex::savedBytes() const {
    std::int64_t bytes = 0;
    for (const auto& entry : entries)
        if (!entry.saved.empty() && entry.before) bytes += entry.before->size;
    return bytes;
}

const UndoIndex::Entry* UndoIndex::find(const std::filesystem::path& path) const {
    for (const auto& entry : entries)
        if (entry.path == path) return &entry;
    return nullptr;
}

}  // namespace morrowdeck
