#include "support/system.h"

#include <chrono>
#include <ctime>
#include <random>
#include <system_error>

#include "platform/file_operations.h"
#include "platform/path_text.h"

#ifdef _WIN32
#include <windows.h>
#include <stdlib.h>
#else
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace morrowdeck::test {

namespace fs = std::filesystem;

std::string text(const fs::path& path) { return platform::toUtf8(path); }

fs::path pathOf(std::string_view utf8) { return platform::toPath(utf8); }

std::string volumePath(std::string_view absoluteUtf8) {
    return text(pathOf(absoluteUtf8).relative_path());
}

fs::path makeTemporaryFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = "morrowdeck-test-";
        for (int i = 0; i < 6; ++i)
            name += "0123456789abcdefghijklmnopqrstuvwxyz"[random() % 36];
        const fs::path folder = fs::temp_directory_path() / name;
        std::error_code error;
        if (fs::create_directory(folder, error)) return folder;
        if (error) throw fs::filesystem_error("cannot make a temporary folder", folder, error);
    }
    throw std::runtime_error("no free temporary folder name");
}

const char* homeVariable() {
#ifdef _WIN32
    return "USERPROFILE";
#else
    return "HOME";
#endif
}

#ifdef _WIN32
namespace {
std::wstring wide(std::string_view utf8) { return pathOf(utf8).native(); }
}  // namespace

// The wide environment is the one the program reads (_wgetenv); the narrow copy would go
// through the ANSI code page.
std::optional<std::string> environment(const char* name) {
    const wchar_t* value = ::_wgetenv(wide(name).c_str());
    if (value == nullptr) return std::nullopt;
    return text(fs::path(std::wstring(value)));
}

void setEnvironment(const char* name, const std::optional<std::string>& value) {
    // An empty value removes the variable on Windows; a set value is never empty in these tests.
    ::_wputenv_s(wide(name).c_str(), value ? wide(*value).c_str() : L"");
}

void applyTimeZone() { ::_tzset(); }

bool makeFifo(const fs::path&) { return false; }

bool extendFile(const fs::path& file, std::uint64_t size) {
    HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool ok = ::SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle);
    ::CloseHandle(handle);
    return ok;
}

void releaseFifoReader(const fs::path&) {}

namespace {
std::optional<BY_HANDLE_FILE_INFORMATION> fileInformation(const fs::path& path) {
    HANDLE file = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = ::GetFileInformationByHandle(file, &info);
    ::CloseHandle(file);
    if (!ok) return std::nullopt;
    return info;
}
}  // namespace

std::optional<std::uint64_t> fileIdentity(const fs::path& path) {
    const auto info = fileInformation(path);
    if (!info) return std::nullopt;
    return (std::uint64_t{info->nFileIndexHigh} << 32) | info->nFileIndexLow;
}

std::optional<std::uint64_t> linkCount(const fs::path& path) {
    const auto info = fileInformation(path);
    if (!info) return std::nullopt;
    return info->nNumberOfLinks;
}
#else
std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void setEnvironment(const char* name, const std::optional<std::string>& value) {
    value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
}

void applyTimeZone() { ::tzset(); }

bool extendFile(const fs::path& file, std::uint64_t size) {
    std::error_code error;
    fs::resize_file(file, size, error);
    return !error;
}

bool makeFifo(const fs::path& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

void releaseFifoReader(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
}

std::optional<std::uint64_t> fileIdentity(const fs::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(status.st_ino);
}

std::optional<std::uint64_t> linkCount(const fs::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(status.st_nlink);
}
#endif

bool makeSymlink(const fs::path& target, const fs::path& link) {
    std::error_code error;
    fs::create_symlink(target, link, error);
    return !error;
}

bool makeFolderSymlink(const fs::path& target, const fs::path& link) {
    std::error_code error;
    fs::create_directory_symlink(target, link, error);
    return !error;
}

bool makesSymlinks() {
    static const bool makes = [] {
        const fs::path folder = makeTemporaryFolder();
        const bool made = makeSymlink(folder / "target", folder / "link");
        std::error_code error;
        fs::remove_all(folder, error);
        return made;
    }();
    return makes;
}

bool setModifiedTime(const fs::path& path, std::int64_t seconds, std::int64_t nanoseconds) {
#ifdef _WIN32
    // mingw's last_write_time drops the fraction of a second: SetFileTime keeps 100 ns steps.
    const HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    // FILETIME counts 100 ns steps since 1601, 11644473600 s before 1970.
    const std::uint64_t ticks =
        static_cast<std::uint64_t>(seconds + 11644473600LL) * 10'000'000ULL +
        static_cast<std::uint64_t>(nanoseconds / 100);
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const bool set = ::SetFileTime(file, nullptr, nullptr, &time) != 0;
    ::CloseHandle(file);
    return set;
#else
    const auto when = std::chrono::sys_time<std::chrono::nanoseconds>(
        std::chrono::seconds(seconds) + std::chrono::nanoseconds(nanoseconds));
    std::error_code error;
    fs::last_write_time(path, std::chrono::file_clock::from_sys(when), error);
    return !error;
#endif
}

bool copyModifiedTime(const fs::path& from, const fs::path& to, std::chrono::nanoseconds shift) {
    const auto info = platform::fileInfo(from);
    if (!info) return false;
    const std::int64_t when = (info->mtime + shift).time_since_epoch().count();
    const std::int64_t second = 1'000'000'000;
    const std::int64_t seconds = when >= 0 ? when / second : (when - second + 1) / second;
    return setModifiedTime(to, seconds, when - seconds * second);
}

}  // namespace morrowdeck::test
