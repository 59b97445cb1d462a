#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/system.h"

namespace morrowdeck::test {

// A fresh folder under the system's temporary directory, removed with everything in it
// (permissions a test took away restored first) when the object goes out of scope.
class TempDir {
  public:
    TempDir() : path_(makeTemporaryFolder()) {}
    ~TempDir() {
        namespace fs = std::filesystem;
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(path_, error);
             !error && it != fs::recursive_directory_iterator(); it.increment(error))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(path_, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& child) const {
        return path_ / child;
    }

  private:
    std::filesystem::path path_;
};

// Points the home folder (where the default library and Serato's master.sqlite are looked up)
// at a folder for the life of the object.
class ScopedHome {
  public:
    explicit ScopedHome(const std::filesystem::path& home)
        : saved_(environment(homeVariable())) {
        setEnvironment(homeVariable(), text(home));
    }
    ~ScopedHome() { setEnvironment(homeVariable(), saved_); }
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

  private:
    std::optional<std::string> saved_;
};

// Sets one environment variable for the life of the object (child processes inherit it).
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value)
        : name_(name), saved_(environment(name)) {
        setEnvironment(name, value);
    }
    ~ScopedEnv() { setEnvironment(name_, saved_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> saved_;
};

// Writes a whole file, creating its parent folders; reads one back. Failures fail the test.
inline void writeFile(const std::filesystem::path& file, std::string_view text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << file;
}
inline void writeFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    writeFile(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}
// A sparse file of `size` bytes (zeros): large to every reader, yet it takes no room.
inline void writeSparseFile(const std::filesystem::path& file, std::uintmax_t size) {
    writeFile(file, "");
    ASSERT_TRUE(extendFile(file, size)) << "cannot extend " << file;
}
inline std::vector<std::uint8_t> readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << file;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace morrowdeck::test
