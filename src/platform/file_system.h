#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

// File-system queries and whole-file reads used by the Serato readers. Every function is
// thread-safe and reports trouble as an empty result rather than an exception: callers
// treat an unreadable file like an absent one.
namespace morrowdeck::platform {

// True when something exists at the path (symbolic links are followed).
bool fileExists(const std::filesystem::path& path);

// True when the path names a directory (symbolic links are followed).
bool isDirectory(const std::filesystem::path& path);

// True when the path names a regular file (symbolic links are followed); FIFOs, devices and
// sockets are not regular files.
bool isRegularFile(const std::filesystem::path& path);

// True when the path itself is a directory; a symbolic link to one is not, so that a walk
// that uses it never follows a link back up its own tree.
bool isRealDirectory(const std::filesystem::path& path);

// Removes the folder when it is empty (rmdir); never a file, never anything inside it.
bool removeEmptyFolder(const std::filesystem::path& folder);

// Whether a listing includes hidden entries (names starting with "."; "." and ".." never).
enum class HiddenEntries { skip, include };

// Names of the entries directly inside a directory, in the order the file system returns
// them; hidden entries only when asked for. Empty optional when the directory cannot be
// listed.
std::optional<std::vector<std::string>> listDirectory(const std::filesystem::path& directory,
                                                      HiddenEntries hidden = HiddenEntries::skip);

// The whole content of a regular file. Empty optional when the path is not a regular file
// or cannot be read; a FIFO or device is refused without blocking.
std::optional<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path);

// The same read into a caller's buffer, replacing its content; false when the file cannot be
// read. Reusing one buffer across many small files avoids an allocation per file.
bool readFileInto(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes);

// The same read for a file of at most maxBytes: 0, or the errno (EFBIG for a larger file,
// which is not read: a sparse file of many gigabytes never becomes an allocation).
int readFileAtMost(const std::filesystem::path& path, std::uint64_t maxBytes,
                   std::vector<std::uint8_t>& bytes);

// True when the path is a regular file holding exactly these bytes. The file is compared in
// small pieces, so checking that a large file is unchanged needs no buffer of its size.
bool fileHasContent(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace morrowdeck::platform
