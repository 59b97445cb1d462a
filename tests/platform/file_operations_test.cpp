#include "platform/file_operations.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <random>

#include "support/temp_dir.h"

namespace morrowdeck::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::readBytes;
using test::TempDir;
using test::writeFile;
using Names = std::vector<std::string>;

// Every entry of a folder, hidden ones included, sorted: shows leftover temporary files.
Names entries(const fs::path& folder) {
    Names names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string text(const fs::path& file) {
    const auto bytes = readBytes(file);
    return {bytes.begin(), bytes.end()};
}

std::vector<std::uint8_t> randomBytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::mt19937 random(42);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

void setMtime(const fs::path& file, timespec mtime) {
    const timespec times[2] = {{0, UTIME_OMIT}, mtime};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

// A tmpfs mounted for one test and lazily detached when it ends (before its TempDir goes).
class TmpfsMount {
  public:
    TmpfsMount(const fs::path& where, const char* options, unsigned long flags = 0) : path_(where) {
        fs::create_directories(where);
        mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", flags, options) == 0;
    }
    ~TmpfsMount() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

  private:
    fs::path path_;
    bool mounted_ = false;
};

TEST(CopyFile, ByteExactByEveryMethodKeepingTimesAndPermissions) {
    TempDir dir;
    const auto bytes = randomBytes(3 * 1024 * 1024 + 123);  // several read/write buffers
    writeFile(dir / "track.mp3", bytes);
    writeFile(dir / "empty.mp3", "");
    fs::permissions(dir / "track.mp3", fs::perms(0640));
    setMtime(dir / "track.mp3", {1'600'000'000, 123'456'789});

    fs::create_directory(dir / "dst");
    ASSERT_EQ(copyFile(dir / "track.mp3", dir / "dst" / "track.mp3", false), 0);
    ASSERT_EQ(copyFile(dir / "empty.mp3", dir / "dst" / "empty.mp3", false), 0);
    EXPECT_EQ(readBytes(dir / "dst" / "track.mp3"), bytes);
    EXPECT_EQ(fileInfo(dir / "dst" / "track.mp3")->mtime.time_since_epoch(),
              1'600'000'000s + 123'456'789ns);
    EXPECT_EQ(fs::status(dir / "dst" / "track.mp3").permissions(), fs::perms(0640));
    EXPECT_EQ(entries(dir / "dst"), (Names{"empty.mp3", "track.mp3"}));

    using detail::CopyMethod;
    for (const auto method : {CopyMethod::clone, CopyMethod::copyFileRange, CopyMethod::sendfile,
                              CopyMethod::readWrite}) {
        const auto target = dir / ("copy" + std::to_string(static_cast<int>(method)));
        const int in = ::open((dir / "track.mp3").c_str(), O_RDONLY);
        const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        EXPECT_EQ(detail::copyData(in, out, method), 0);
        ::close(in);
        ::close(out);
        EXPECT_EQ(readBytes(target), bytes) << static_cast<int>(method);
    }
}

// Nothing is overwritten unless asked; a replacement (copy or atomic write) is renamed over
// the name, so a hard link to the old file keeps the old bytes, and the mode is kept.
TEST(CopyFile, ExistingDestinationAndAtomicReplacement) {
    TempDir dir;
    writeFile(dir / "new.mp3", "new");
    writeFile(dir / "dst" / "kept.mp3", "old");
    fs::create_symlink(dir / "nowhere", dir / "dst" / "dangling.mp3");
    fs::create_directory(dir / "dst" / "folder.mp3");

    EXPECT_EQ(copyFile(dir / "new.mp3", dir / "dst" / "kept.mp3", false), EEXIST);
    EXPECT_EQ(copyFile(dir / "new.mp3", dir / "dst" / "dangling.mp3", false), EEXIST);
    EXPECT_EQ(text(dir / "dst" / "kept.mp3"), "old");

    ASSERT_EQ(hardLink(dir / "dst" / "kept.mp3", dir / "old-link"), 0);
    EXPECT_EQ(copyFile(dir / "new.mp3", dir / "dst" / "kept.mp3", true), 0);
    EXPECT_EQ(text(dir / "dst" / "kept.mp3"), "new");
    EXPECT_EQ(text(dir / "old-link"), "old");
    EXPECT_EQ(copyFile(dir / "new.mp3", dir / "dst" / "folder.mp3", true), EISDIR);

    fs::permissions(dir / "dst" / "kept.mp3", fs::perms(0640));
    ASSERT_EQ(hardLink(dir / "dst" / "kept.mp3", dir / "new-link"), 0);
    ASSERT_EQ(writeFileAtomically(dir / "dst" / "kept.mp3", std::vector<std::uint8_t>{'x'}), 0);
    EXPECT_EQ(text(dir / "dst" / "kept.mp3"), "x");
    EXPECT_EQ(text(dir / "new-link"), "new");
    EXPECT_EQ(fs::status(dir / "dst" / "kept.mp3").permissions(), fs::perms(0640));
    EXPECT_EQ(writeFileAtomically(dir / "missing" / "file", std::vector<std::uint8_t>{}), ENOENT);
    EXPECT_EQ(entries(dir / "dst"), (Names{"dangling.mp3", "folder.mp3", "kept.mp3"}));
}

TEST(CopyFile, FailuresLeaveNothingBehind) {
    TempDir dir;
    writeFile(dir / "track.mp3", "data");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_directories(dir / "dst");

    EXPECT_EQ(copyFile(dir / "missing", dir / "dst" / "a", false), ENOENT);
    EXPECT_EQ(copyFile(dir / "pipe", dir / "dst" / "a", false), EINVAL);  // must not block
    EXPECT_EQ(copyFile(dir / "dst", dir / "dst" / "a", false), EISDIR);
    EXPECT_EQ(copyFile(dir / "track.mp3", dir / "no-such-folder" / "a", false), ENOENT);
    EXPECT_EQ(entries(dir / "dst"), Names{});
}

TEST(CopyFile, LongNamesFitTheNameLimit) {
    TempDir dir;
    writeFile(dir / "track.mp3", "data");
    std::string name = "x";
    while (name.size() < 245)
        name += "\xC3\xA9";  // "é"
    name += ".mp3";          // 249 bytes: no room for a longer temp name
    EXPECT_EQ(copyFile(dir / "track.mp3", dir / name, false), 0);
    EXPECT_EQ(writeFileAtomically(dir / name, std::vector<std::uint8_t>{1, 2}), 0);
    EXPECT_EQ(entries(dir.path()), (Names{"track.mp3", name}));
}

TEST(FileOperations, QueriesAndFolders) {
    TempDir dir;
    writeFile(dir / "a.mp3", "12345");
    fs::create_symlink(dir / "a.mp3", dir / "link.mp3");
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);

    const auto info = fileInfo(dir / "link.mp3");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->size, 5);  // the target's, not the link's
    EXPECT_FALSE(fileInfo(dir.path()));
    EXPECT_FALSE(fileInfo(dir / "pipe"));
    EXPECT_TRUE(itemExists(dir / "dangling"));
    EXPECT_FALSE(itemExists(dir / "missing"));

    EXPECT_EQ(createDirectories(dir / "x" / "y" / "z"), 0);
    EXPECT_EQ(createDirectories(dir / "x" / "y"), 0);
    EXPECT_EQ(createDirectories(dir / "a.mp3"), ENOTDIR);
    EXPECT_EQ(createDirectories(dir / "a.mp3" / "sub"), ENOTDIR);

    EXPECT_TRUE(isWritableDirectory(dir.path()));
    EXPECT_FALSE(isWritableDirectory(dir / "missing"));
    EXPECT_FALSE(isWritableDirectory(dir / "a.mp3"));
    EXPECT_EQ(granularityForFileSystemType(0x4d44), 2s);   // FAT
    EXPECT_EQ(granularityForFileSystemType(0xEF53), 1ns);  // ext4
    std::setlocale(LC_ALL, "");
    EXPECT_EQ(errorText(ENOSPC), "No space left on device");
    std::setlocale(LC_ALL, "C");
}

// Volume limits and boundaries, on tmpfs mounts (needs root, as in CI).
TEST(FileOperations, SmallAndReadOnlyVolumes) {
    TempDir dir;
    TmpfsMount small(dir / "small", "size=256k");
    TmpfsMount readOnly(dir / "ro", "size=256k", MS_RDONLY);
    if (!small.mounted() || !readOnly.mounted()) GTEST_SKIP() << "cannot mount tmpfs here";

    const auto free = freeSpace(dir / "small");
    ASSERT_TRUE(free);
    EXPECT_GT(*free, 0);
    EXPECT_LE(*free, 256 * 1024);
    EXPECT_EQ(timestampGranularity(dir / "small"), 1ns);
    EXPECT_FALSE(isWritableDirectory(dir / "ro"));

    // Full volume: nothing partial is left, and an older copy survives a failed replacement.
    writeFile(dir / "big.mp3", randomBytes(1000 * 1000));
    writeFile(dir / "small" / "big.mp3", "older copy");
    EXPECT_EQ(copyFile(dir / "big.mp3", dir / "small" / "big.mp3", true), ENOSPC);
    EXPECT_EQ(copyFile(dir / "big.mp3", dir / "small" / "other.mp3", false), ENOSPC);
    EXPECT_EQ(writeFileAtomically(dir / "small" / "big.mp3", readBytes(dir / "big.mp3")), ENOSPC);
    EXPECT_EQ(entries(dir / "small"), Names{"big.mp3"});
    EXPECT_EQ(text(dir / "small" / "big.mp3"), "older copy");

    // Across file systems: copy_file_range answers EXDEV, the fallback keeps the date.
    const auto bytes = randomBytes(100 * 1000);
    writeFile(dir / "small" / "track.mp3", bytes);
    setMtime(dir / "small" / "track.mp3", {1'600'000'000, 987'654'321});
    ASSERT_EQ(copyFile(dir / "small" / "track.mp3", dir / "track.mp3", false), 0);
    EXPECT_EQ(readBytes(dir / "track.mp3"), bytes);
    EXPECT_EQ(fileInfo(dir / "track.mp3")->mtime.time_since_epoch(),
              1'600'000'000s + 987'654'321ns);
    EXPECT_EQ(hardLink(dir / "small" / "track.mp3", dir / "link.mp3"), EXDEV);
}

}  // namespace
}  // namespace morrowdeck::platform
