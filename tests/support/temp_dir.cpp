#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>

namespace morrowdeck::test {

namespace fs = std::filesystem;

TempDir::~TempDir() {
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(path_, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(path_, error);
}

void writeFile(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    writeFile(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void writeFile(const fs::path& file, std::string_view text) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << file;
}

std::vector<std::uint8_t> readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << file;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string testName(std::string_view text) {
    std::string name(text);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

}  // namespace morrowdeck::test
