// The manifest's text form and the hash taken while a file is copied.
#include "engine/backup_manifest.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/file_copier.h"
#include "platform/path_text.h"
#include "support/temp_dir.h"

namespace morrowdeck {
namespace {

namespace fs = std::filesystem;

TEST(BackupManifest, TextRoundTripsAnyPathAndSkipsDamagedLines) {
    BackupManifest manifest;
    const platform::FileTime date(std::chrono::nanoseconds(1'700'000'000'123'456'789));
    manifest.entries["House/plain.mp3"] = {1234, date, {0x0123456789abcdef, 42}};
    // A backslash is a separator on Windows, so no name there holds one.
    const bool backslashNames = platform::isSingleName("back\\slash");
    manifest.entries[backslashNames ? "Odd/tab\tnew\nline back\\slash.mp3"
                                    : "Odd/tab\tnew\nline.mp3"] = {0, {}, {~0ull, 0}};
    const std::string text = manifest.encode();
    EXPECT_EQ(BackupManifest::decode(text), manifest);
    EXPECT_NE(text.find("0123456789abcdef000000000000002a\t1234\t1700000000123456789\tHouse/"),
              std::string::npos);

    const auto damaged = BackupManifest::decode(
        text + "not a line\n" + std::string(32, 'g') + "\t1\t1\tx\n" + std::string(32, '0') +
        "\t-1\t1\tx\n" + std::string(32, '0') + "\t1\t1\tbad \\escape\n");
    EXPECT_EQ(damaged, manifest);
    EXPECT_FALSE(BackupManifest::decode("morrowdeck-manifest\t2\n"));
    EXPECT_FALSE(BackupManifest::decode(""));
}

// Only paths a backup writes are read back: one that is absolute, climbs out, or leads into
// the metadata folder is refused and named, so that nothing outside the backup's files is
// ever opened through a manifest.
TEST(BackupManifest, RefusesPathsNoBackupWrites) {
    const struct {
        std::string path;
        bool accepted;
    } cases[] = {
        {"House/a.mp3", true},
        {".ORVEL_Store/Users/dj/Music/a.mp3", true},
        {"House/..mp3", true},
        {"/etc/passwd", false},
        {"../outside.mp3", false},
        {"House/../../outside.mp3", false},
        {"House/./a.mp3", false},
        {"House//a.mp3", false},
        {"House/", false},
        {".morrowdeck/catalog.json", false},
        {".morrowdeck", false},
        {std::string("House/a.mp3\0/../x", 17), false},
    };
    BackupManifest manifest;
    std::vector<std::string> refused;
    for (const auto& [path, accepted] : cases) {
        EXPECT_EQ(BackupManifest::isPathOfAFile(path), accepted) << path;
        manifest.entries[path] = {1, {}, {1, 2}};
        if (!accepted) refused.push_back(path);
    }
    std::vector<std::string> found;
    const auto decoded = BackupManifest::decode(manifest.encode(), &found);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->entries.size(), 3u);
    std::sort(refused.begin(), refused.end());
    EXPECT_EQ(found, refused);  // in the manifest's order, which is the paths' order
}

// The copier's hash (taken as the data passes) is the file's own, also where the data spans
// several reads; the copy is exact.
TEST(BackupManifest, CopiesHashTheDataTheyCopy) {
    test::TempDir dir;
    std::string data(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7919 % 251);
    test::writeFile(dir / "in/big.mp3", data);
    test::writeFile(dir / "in/empty.mp3", "");
    fs::create_directories(dir / "out");
    const std::string big = test::text(dir / "in/big.mp3"),
                      empty = test::text(dir / "in/empty.mp3");
    const std::string out = test::text(dir / "out");
    const std::vector<FileCopier::Job> jobs = {{big, out, "big.mp3"}, {empty, out, "empty.mp3"}};
    std::vector<ContentHash> hashes(jobs.size());
    FileCopier::Options options;
    options.hashed = [&](std::size_t index, const ContentHash& hash) { hashes[index] = hash; };
    FileCopier(options, {}, [](std::size_t, FileCopier::Outcome, int) {}).run(jobs);

    for (std::size_t i = 0; i < jobs.size(); ++i) {
        ContentHash expected;
        ASSERT_EQ(hashFile(std::string(jobs[i].source), expected), 0);
        EXPECT_EQ(hashes[i], expected);
        EXPECT_EQ(test::readBytes(jobs[i].dest()), test::readBytes(std::string(jobs[i].source)));
    }
    EXPECT_EQ(hashes[1].hex(), "99aa06d3014798d86001c324468d497f");  // XXH3-128 of nothing
    EXPECT_EQ(ContentHash::fromHex(hashes[0].hex()), hashes[0]);
}

}  // namespace
}  // namespace morrowdeck
