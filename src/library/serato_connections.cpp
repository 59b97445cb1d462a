#include "library/serato_connections.h"

#include <sqlite3.h>

#include <memory>

#include "platform/path_text.h"

namespace morrowdeck::SeratoConnections {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// %XX decoded; absent for a broken escape.
std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

bool startsWithScheme(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = text[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && !(i > 0 && other)) return false;
    }
    return true;
}

}  // namespace

std::optional<std::filesystem::path> localPath(std::string_view uri) {
    std::string text;
    if (uri.size() >= 5 && std::string_view(uri.data(), 5) == "file:") {
        std::string_view rest = uri.substr(5);
        rest = rest.substr(0, rest.find_first_of("?#"));
        if (rest.starts_with("//")) {
            rest.remove_prefix(2);
            const std::size_t slash = rest.find('/');
            if (slash == std::string_view::npos) return std::nullopt;
            const std::string_view host = rest.substr(0, slash);
            if (!host.empty() && host != "localhost") return std::nullopt;
            rest.remove_prefix(slash);
        }
        auto decoded = percentDecoded(rest);
        if (!decoded) return std::nullopt;
        text = std::move(*decoded);
    } else {
        // A drive path ("C:/x") is no scheme where paths have drives.
        if (startsWithScheme(uri) && !platform::toPath(uri).is_absolute()) return std::nullopt;
        text = uri;
    }
    if (text.empty() || text.find('\0') != std::string::npos) return std::nullopt;
    // Where paths have drives, "file:///C:/x" names "C:/x".
    if (text.front() == '/' && platform::toPath(text.substr(1)).has_root_name()) text.erase(0, 1);
    const std::filesystem::path path = platform::toPath(text);
    if (text.front() != '/' && !path.is_absolute()) return std::nullopt;
    for (const auto& component : path)
        if (component == "..") return std::nullopt;
    return path;
}

std::vector<std::string> uris(const std::filesystem::path& database, std::string& problem) {
    problem.clear();
    std::vector<std::string> found;
    std::string name = platform::toUtf8(database);
    if (database.is_relative()) name.insert(0, "./");
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(name.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    if (opened != SQLITE_OK) {
        problem = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(opened);
        return found;
    }
    sqlite3_busy_timeout(raw, 3000);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(raw,
                           "SELECT name FROM sqlite_schema WHERE type = 'table' AND "
                           "name = 'connection'",
                           -1, &statement, nullptr) != SQLITE_OK) {
        problem = sqlite3_errmsg(raw);
        return found;
    }
    const bool hasTable = sqlite3_step(statement) == SQLITE_ROW;
    sqlite3_finalize(statement);
    if (!hasTable) return found;
    if (sqlite3_prepare_v2(raw, "SELECT database_uri FROM connection ORDER BY location_id", -1,
                           &statement, nullptr) != SQLITE_OK) {
        problem = sqlite3_errmsg(raw);
        return found;
    }
    int stepped = SQLITE_ROW;
    while ((stepped = sqlite3_step(statement)) == SQLITE_ROW) {
        const auto* text = sqlite3_column_text(statement, 0);
        if (text)
            found.emplace_back(reinterpret_cast<const char*>(text),
                               static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
    }
    if (stepped != SQLITE_DONE) problem = sqlite3_errmsg(raw);
    sqlite3_finalize(statement);
    return found;
}

}  // namespace morrowdeck::SeratoConnections
