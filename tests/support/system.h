#pragma once
// What the tests ask of the system that POSIX and Windows spell differently, in one place:
// paths as text, temporary folders, environment variables, FIFOs, file times and identities.
// Test code calls these instead of POSIX functions so that every suite builds for both.
#include <cstdint>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace morrowdeck::test {

// A path as the program writes it in messages and stored names (UTF-8, '/' between names on
// Windows too), and a path named by UTF-8 text. A narrow std::filesystem::path would decode
// non-ASCII text in Windows' ANSI code page.
std::string text(const std::filesystem::path& path);
std::filesystem::path pathOf(std::string_view utf8);
// An absolute path as Serato stores it: relative to its volume's root, without the drive.
std::string volumePath(std::string_view absoluteUtf8);

// A new, empty folder with a unique name below the system's temporary folder.
std::filesystem::path makeTemporaryFolder();

// The environment variable that names the user's home folder: HOME, USERPROFILE on Windows.
const char* homeVariable();
// An environment variable's value (absent when unset); setting absent removes it.
std::optional<std::string> environment(const char* name);
void setEnvironment(const char* name, const std::optional<std::string>& value);

// Makes the C library read the TZ variable again after a change.
void applyTimeZone();

// A FIFO at `path`; false when it cannot be made (never on Windows, which has none).
bool makeFifo(const std::filesystem::path& path);
// Opens and closes the FIFO for writing without waiting, so a reader blocked on it goes on.
void releaseFifoReader(const std::filesystem::path& path);

// A symbolic link at `link` to a file or to a folder; false when this system cannot make one
// (the C++ library makes none on Windows, where links also need a privilege).
bool makeSymlink(const std::filesystem::path& target, const std::filesystem::path& link);
bool makeFolderSymlink(const std::filesystem::path& target, const std::filesystem::path& link);
// Whether this system makes symbolic links (asked once, in a temporary folder).
bool makesSymlinks();

// Sets a file's size without writing its content, so that a large file takes no room where
// the file system keeps files sparse (mingw's ftruncate would refuse a size beyond the free
// space).
bool extendFile(const std::filesystem::path& file, std::uint64_t size);

// Sets a file's modification time to `seconds` and `nanoseconds` after the Unix epoch.
bool setModifiedTime(const std::filesystem::path& path, std::int64_t seconds,
                     std::int64_t nanoseconds);

// Gives `to` the modification time of `from` moved by `shift`, to the nanosecond where the
// file system keeps it (mingw's last_write_time setter drops the fraction of a second).
bool copyModifiedTime(const std::filesystem::path& from, const std::filesystem::path& to,
                      std::chrono::nanoseconds shift);

// What identifies a file on its volume (the inode, the file index on Windows): a file moved
// within the volume keeps it. Absent when the file cannot be asked.
std::optional<std::uint64_t> fileIdentity(const std::filesystem::path& path);
// How many names the file has (mingw's hard_link_count always answers 1).
std::optional<std::uint64_t> linkCount(const std::filesystem::path& path);

}  // namespace morrowdeck::test

// Skips the current test on Windows, naming what Windows (or Wine) lacks for it.
#ifdef _WIN32
#define MORROWDECK_SKIP_ON_WINDOWS(why) GTEST_SKIP() << "Windows: " << why
#else
#define MORROWDECK_SKIP_ON_WINDOWS(why) static_cast<void>(0)
#endif
