#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace morrowdeck::test {

// A fresh folder under the system's temporary directory, removed with everything in it
// (permissions a test took away restored first) when the object goes out of scope.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "morrowdeck-test-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
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

// Points HOME (where the default library and Serato's master.sqlite are looked up) at a
// folder for the life of the object.
class ScopedHome {
  public:
    explicit ScopedHome(const std::filesystem::path& home) {
        if (const char* old = std::getenv("HOME")) saved_ = old;
        ::setenv("HOME", home.c_str(), 1);
    }
    ~ScopedHome() { saved_ ? ::setenv("HOME", saved_->c_str(), 1) : ::unsetenv("HOME"); }
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

  private:
    std::optional<std::string> saved_;
};

// Writes a whole file, creating its parent folders; reads one back. Failures fail the test.
void writeFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);
void writeFile(const std::filesystem::path& file, std::string_view text);
std::vector<std::uint8_t> readBytes(const std::filesystem::path& file);

// Letters and digits kept, the rest as "_": names parameterised cases after fixture files.
std::string testName(std::string_view text);

}  // namespace morrowdeck::test
