#include "platform/home_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace morrowdeck::platform {

namespace {

// A field of the real user's password database entry, or `fallback`.
std::string passwordField(char* passwd::*field, const char* fallback) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->*field != nullptr) {
        return found->*field;
    }
    return fallback;
}

}  // namespace

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    return passwordField(&passwd::pw_dir, "/");
}

std::filesystem::path applicationDataBelowHome() {
    return "Library/Application Support";
}

std::string userName() {
    if (const char* user = std::getenv("USER"); user != nullptr && *user != '\0') return user;
    return passwordField(&passwd::pw_name, "");
}

}  // namespace morrowdeck::platform
