#include "platform/volumes.h"

#include <climits>
#include <cstdlib>
#include <memory>
#include <system_error>

#include "platform/file_system.h"

namespace morrowdeck::platform {

namespace {

// Mount points in mountinfo escape space, tab, newline and backslash as \ooo octal.
std::string decodeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
            isOctal(field[i + 2]) && isOctal(field[i + 3])) {
            out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                            (field[i + 3] - '0')));
            i += 3;
            continue;
        }
        out.push_back(field[i]);
    }
    return out;
}

// The fifth space-separated field of a mountinfo line, or empty.
std::string_view mountPointField(std::string_view line) {
    std::size_t start = 0;
    for (int field = 0; field < 4; ++field) {
        start = line.find(' ', start);
        if (start == std::string_view::npos) return {};
        ++start;
    }
    const std::size_t end = line.find(' ', start);
    return line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

bool contains(std::string_view mountPoint, std::string_view path) {
    if (mountPoint == "/") return true;
    if (path.size() < mountPoint.size() || path.substr(0, mountPoint.size()) != mountPoint)
        return false;
    return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

}  // namespace

std::string mountPointContaining(std::string_view mountinfo, std::string_view resolvedPath) {
    std::string best;
    bool found = false;
    std::size_t lineStart = 0;
    while (lineStart < mountinfo.size()) {
        std::size_t lineEnd = mountinfo.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = mountinfo.size();
        const std::string mountPoint =
            decodeMountField(mountPointField(mountinfo.substr(lineStart, lineEnd - lineStart)));
        lineStart = lineEnd + 1;
        if (mountPoint.empty() || mountPoint[0] != '/') continue;
        // ">=" so that a later line on the same point (a stacked mount) wins.
        if (contains(mountPoint, resolvedPath) && (!found || mountPoint.size() >= best.size())) {
            best = mountPoint;
            found = true;
        }
    }
    if (!found || best == "/") return "";
    return best;
}

std::string volumeMountPoint(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path probe = std::filesystem::absolute(path, error);
    if (error) return "";
    while (!platform::fileExists(probe) && probe.has_relative_path())
        probe = probe.parent_path();

    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(probe.c_str(), nullptr),
                                                         &std::free);
    if (!resolved) return "";

    const auto mountinfo = readFile("/proc/self/mountinfo");
    if (!mountinfo) return "";
    const std::string_view text(reinterpret_cast<const char*>(mountinfo->data()),
                                mountinfo->size());
    return mountPointContaining(text, resolved.get());
}

std::string volumeName(const std::filesystem::path& path) {
    const std::string mountPoint = volumeMountPoint(path);
    if (mountPoint.empty()) return "/";
    return mountPoint.substr(mountPoint.rfind('/') + 1);
}

}  // namespace morrowdeck::platform
