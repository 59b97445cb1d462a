#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morrowdeck::test {

// A fresh folder under the system's temporary directory, removed with everything in it when
// the object goes out of scope.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& child) const {
        return path_ / child;
    }

  private:
    std::filesystem::path path_;
};

// Points HOME at a folder for the life of the object, then restores it (Serato's
// master.sqlite and the default library are looked up under HOME).
class ScopedHome {
  public:
    explicit ScopedHome(const std::filesystem::path& home);
    ~ScopedHome();
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

  private:
    std::optional<std::string> saved_;
};

// Writes bytes to a file, creating its parent folders.
void writeFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);
void writeFile(const std::filesystem::path& file, std::string_view text);

// A test-name-safe form of any text (letters and digits kept, the rest as "_"), for
// naming parameterised cases after fixture files.
std::string testName(std::string_view text);

// Reads a whole file (test failure when it cannot be read).
std::vector<std::uint8_t> readBytes(const std::filesystem::path& file);

}  // namespace morrowdeck::test
