#include "engine/backup_manifest.h"

#include <charconv>

#include "engine/backup_layout.h"
#include "platform/path_text.h"
#include "engine/metadata_file.h"

namespace morrowdeck {

namespace {

constexpr std::string_view kHeader = "morrowdeck-manifest\t1\n";

template <typename Number>
bool parseNumber(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// Splits off the text before the next tab; false when there is none.
bool nextField(std::string_view& line, std::string_view& field) {
    const auto tab = line.find('\t');
    if (tab == std::string_view::npos) return false;
    field = line.substr(0, tab);
    line.remove_prefix(tab + 1);
    return true;
}

std::optional<std::string> unescape(std::string_view text) {
    std::string path;
    path.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            path += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        if (text[i] == '\\') {
            path += '\\';
        } else if (text[i] == 'n') {
            path += '\n';
        } else {
            return std::nullopt;
        }
    }
    return path;
}

}  // namespace

std::string BackupManifest::encode() const {
    std::string text(kHeader);
    text.reserve(entries.size() * 120);
    for (const auto& [path, entry] : entries) {
        text += entry.hash.hex();
        text += '\t';
        text += std::to_string(entry.size);
        text += '\t';
        text += std::to_string(entry.mtime.time_since_epoch().count());
        text += '\t';
        for (const char c : path) {
            if (c == '\\') {
                text += "\\\\";
            } else if (c == '\n') {
                text += "\\n";
            } else {
                text += c;
            }
        }
        text += '\n';
    }
    return text;
}

bool BackupManifest::isPathOfAFile(std::string_view path) {
    if (path.empty() || path.front() == '/' || path.find('\0') != std::string_view::npos)
        return false;
    bool first = true;
    for (std::string_view rest = path;;) {
        const auto slash = rest.find('/');
        const std::string_view component = rest.substr(0, slash);
        if (!platform::isSingleName(component) ||
            (first && component == BackupLayout::metadataFolder))
            return false;
        if (slash == std::string_view::npos) return true;
        rest.remove_prefix(slash + 1);
        first = false;
    }
}

std::optional<BackupManifest> BackupManifest::decode(std::string_view text,
                                                     std::vector<std::string>* refused) {
    if (!text.starts_with(kHeader)) return std::nullopt;
    text.remove_prefix(kHeader.size());
    BackupManifest manifest;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        std::string_view hash, size, mtime;
        Entry entry;
        std::int64_t nanoseconds = 0;
        if (!nextField(line, hash) || !nextField(line, size) || !nextField(line, mtime) ||
            line.empty() || !parseNumber(size, entry.size) || entry.size < 0 ||
            !parseNumber(mtime, nanoseconds))
            continue;
        const auto parsedHash = ContentHash::fromHex(hash);
        auto path = unescape(line);
        if (!parsedHash || !path) continue;
        if (!isPathOfAFile(*path)) {
            if (refused) refused->push_back(std::move(*path));
            continue;
        }
        entry.hash = *parsedHash;
        entry.mtime = platform::FileTime(std::chrono::nanoseconds(nanoseconds));
        manifest.entries.insert_or_assign(std::move(*path), entry);
    }
    return manifest;
}

std::filesystem::path BackupManifest::fileOf(const std::filesystem::path& backupRoot) {
    return backupRoot / BackupLayout::metadataFolder / BackupLayout::manifestFileName;
}

std::optional<BackupManifest> BackupManifest::load(const std::filesystem::path& backupRoot,
                                                   std::vector<std::string>* refused) {
    std::string warning;
    const auto bytes = readMetadataFile(fileOf(backupRoot), warning);
    if (!bytes) return std::nullopt;
    return decode({reinterpret_cast<const char*>(bytes->data()), bytes->size()}, refused);
}

}  // namespace morrowdeck
