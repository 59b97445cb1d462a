#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace morrowdeck::test {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "morrowdeck-test-XXXXXX").native();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    // Restore permissions that tests removed so the tree can be deleted.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
    }
    std::filesystem::remove_all(path_, error);
}

ScopedHome::ScopedHome(const std::filesystem::path& home) {
    if (const char* old = std::getenv("HOME")) saved_ = old;
    ::setenv("HOME", home.c_str(), 1);
}

ScopedHome::~ScopedHome() {
    if (saved_) {
        ::setenv("HOME", saved_->c_str(), 1);
    } else {
        ::unsetenv("HOME");
    }
}

void writeFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << file;
}

void writeFile(const std::filesystem::path& file, std::string_view text) {
    writeFile(file, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::string testName(std::string_view text) {
    std::string name;
    for (char c : text)
        name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    return name;
}

std::vector<std::uint8_t> readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << file;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace morrowdeck::test
