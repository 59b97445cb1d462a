#include "platform/file_operations.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
#include <random>

#include "platform/backend.h"
#include "platform/path_text.h"
#include "support/mount_guard.h"
#include "support/system.h"
#include "support/temp_dir.h"

namespace morrowdeck::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::readBytes;
using test::writeFile;
using Names = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

#ifdef _WIN32
constexpr bool kHasModes = false;  // Windows keeps attributes, not permission bits
#else
constexpr bool kHasModes = true;
#endif

// Every entry of a folder, hidden ones included, sorted: shows leftover temporary files.
Names entries(const fs::path& folder) {
    Names names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(toUtf8(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

std::string text(const fs::path& file) {
    const auto bytes = readBytes(file);
    return {bytes.begin(), bytes.end()};
}

// A file of random bytes (several copy buffers) with a sub-second date (in 100 ns steps, the
// finest Windows keeps) and mode 0640.
Bytes writeTrack(const fs::path& file, std::size_t size, long nanoseconds = 0) {
    Bytes bytes(size);
    std::mt19937 random(42);
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<std::uint8_t>(random()); });
    writeFile(file, bytes);
    fs::permissions(file, fs::perms(0640));
    EXPECT_TRUE(test::setModifiedTime(file, 1'600'000'000, nanoseconds));
    return bytes;
}

void expectSameFile(const fs::path& copy, const Bytes& bytes, long nanoseconds) {
    EXPECT_EQ(readBytes(copy), bytes);
    EXPECT_EQ(fileInfo(copy)->mtime.time_since_epoch(), 1'600'000'000s + nanoseconds * 1ns);
    if (kHasModes) {
        EXPECT_EQ(fs::status(copy).permissions(), fs::perms(0640));
    }
}

// A C runtime descriptor on the file, as copyData takes them: for reading, or for writing a
// new file.
int openDescriptor(const fs::path& file, bool create) {
#ifdef _WIN32
    return ::_wopen(file.c_str(),
                    create ? _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY : _O_RDONLY | _O_BINARY,
                    _S_IREAD | _S_IWRITE);
#else
    return ::open(file.c_str(), create ? O_WRONLY | O_CREAT | O_EXCL : O_RDONLY, 0600);
#endif
}

// A symbolic link, where the system lets the test make one (Windows asks for a privilege, and
// Wine makes none).
bool makeLink(const fs::path& target, const fs::path& link) {
    std::error_code error;
    fs::create_symlink(target, link, error);
    return !error && fs::is_symlink(fs::symlink_status(link));
}

TEST(CopyFile, ByteExactByEveryMethodKeepingDateAndMode) {
    test::TempDir dir;
    const auto bytes = writeTrack(dir / "track.mp3", 3 * 1024 * 1024 + 123, 123'456'700);
    ASSERT_EQ(copyFile(dir / "track.mp3", dir / "dst" / "track.mp3", false), ENOENT);
    fs::create_directory(dir / "dst");
    ASSERT_EQ(copyFile(dir / "track.mp3", dir / "dst" / "track.mp3", false), 0);
    expectSameFile(dir / "dst" / "track.mp3", bytes, 123'456'700);
    EXPECT_EQ(entries(dir / "dst"), Names{"track.mp3"});

    using detail::CopyMethod;
    for (const auto method : {CopyMethod::clone, CopyMethod::copyFileRange, CopyMethod::sendfile,
                              CopyMethod::readWrite}) {
        const auto target = dir / ("copy" + std::to_string(static_cast<int>(method)));
        const int in = openDescriptor(dir / "track.mp3", false);
        const int out = openDescriptor(target, true);
        EXPECT_EQ(detail::copyData(in, out, method), 0);
        ::close(in);
        ::close(out);
        EXPECT_EQ(readBytes(target), bytes) << static_cast<int>(method);
    }
}

// Nothing is overwritten unless asked; a replacement (copy or atomic write) is renamed over
// the name, so a hard link to the old file keeps the old bytes, and the mode is kept. Failed
// copies and names at the length limit leave no temporary file behind.
TEST(CopyFile, ReplacementIsAtomicAndFailuresLeaveNothing) {
    test::TempDir dir;
    writeFile(dir / "new.mp3", "new");
    writeFile(dir / "dst" / "kept.mp3", "old");
    const bool links = makeLink(dir / "nowhere", dir / "dst" / "dangling.mp3");
    fs::create_directory(dir / "dst" / "folder.mp3");

    EXPECT_EQ(copyFile(dir / "new.mp3", dir / "dst" / "kept.mp3", false), EEXIST);
    if (links) {
        EXPECT_EQ(copyFile(dir / "new.mp3", dir / "dst" / "dangling.mp3", false), EEXIST);
    }
    EXPECT_EQ(copyFile(dir / "new.mp3", dir / "dst" / "folder.mp3", true), EISDIR);
    EXPECT_EQ(copyFile(dir / "missing", dir / "dst" / "a", false), ENOENT);
    if (test::makeFifo(dir / "pipe")) {
        EXPECT_EQ(copyFile(dir / "pipe", dir / "dst" / "a", false), EINVAL);  // must not block
    }
    EXPECT_EQ(copyFile(dir / "dst", dir / "dst" / "a", false), EISDIR);
    EXPECT_EQ(writeFileAtomically(dir / "missing" / "file", Bytes{}), ENOENT);
    EXPECT_EQ(text(dir / "dst" / "kept.mp3"), "old");

    ASSERT_EQ(hardLink(dir / "dst" / "kept.mp3", dir / "old-link"), 0);
    EXPECT_EQ(copyFile(dir / "new.mp3", dir / "dst" / "kept.mp3", true), 0);
    fs::permissions(dir / "dst" / "kept.mp3", fs::perms(0640));
    ASSERT_EQ(hardLink(dir / "dst" / "kept.mp3", dir / "new-link"), 0);
    ASSERT_EQ(writeFileAtomically(dir / "dst" / "kept.mp3", Bytes{'x'}), 0);
    EXPECT_EQ(text(dir / "old-link") + text(dir / "new-link") + text(dir / "dst" / "kept.mp3"),
              "oldnewx");
    if (kHasModes) {
        EXPECT_EQ(fs::status(dir / "dst" / "kept.mp3").permissions(), fs::perms(0640));
    }

    std::string name = "x";
    while (name.size() < 245)
        name += "\xC3\xA9";  // 249 bytes with ".mp3": no room for a longer temporary name
    writeFile(dir / "empty.mp3", "");
    EXPECT_EQ(copyFile(dir / "empty.mp3", dir / "dst" / toPath(name + ".mp3"), false), 0);
    EXPECT_EQ(writeFileAtomically(dir / "dst" / toPath(name + ".mp3"), Bytes{1, 2}), 0);
    Names expected{"folder.mp3", "kept.mp3", name + ".mp3"};
    if (links) expected.insert(expected.begin(), "dangling.mp3");
    EXPECT_EQ(entries(dir / "dst"), expected);
}

// A replaced file can be kept aside by rename; a failed replacement keeps it in place, and an
// earlier kept file is never overwritten.
TEST(CopyFile, KeepsTheReplacedFileAside) {
    test::TempDir dir;
    writeFile(dir / "new.mp3", "new");
    writeFile(dir / "dst" / "a.mp3", "old");
    const fs::path kept = dir / "kept" / "run" / "a.mp3";
    EXPECT_EQ(copyFile(dir / "missing", dir / "dst" / "a.mp3", true, kept), ENOENT);
    EXPECT_FALSE(fs::exists(kept));
    EXPECT_EQ(copyFile(dir / "new.mp3", dir / "dst" / "a.mp3", true, kept), 0);
    EXPECT_EQ(text(kept) + text(dir / "dst" / "a.mp3"), "oldnew");

    writeFile(dir / "newer.mp3", "newer");
    EXPECT_EQ(copyFile(dir / "newer.mp3", dir / "dst" / "a.mp3", true, kept), 0);
    EXPECT_EQ(text(kept) + text(dir / "dst" / "a.mp3"), "oldnewer");

    writeFile(dir / "dst" / "b.mp3", "copy");
    EXPECT_EQ(replaceWithLink(dir / "new.mp3", dir / "dst" / "b.mp3", dir / "kept" / "b.mp3"), 0);
    EXPECT_EQ(text(dir / "kept" / "b.mp3"), "copy");
    EXPECT_TRUE(fs::equivalent(dir / "new.mp3", dir / "dst" / "b.mp3"));
    EXPECT_EQ(entries(dir / "dst"), (Names{"a.mp3", "b.mp3"}));

    // A place to keep it that cannot be made: the copy fails and the file stays where it was.
    writeFile(dir / "blocked", "a file, not a folder");
    EXPECT_EQ(copyFile(dir / "newer.mp3", dir / "dst" / "b.mp3", true, dir / "blocked" / "b.mp3"),
              ENOTDIR);
    EXPECT_TRUE(fs::equivalent(dir / "new.mp3", dir / "dst" / "b.mp3"));

    // Kept on another volume: copied there (flushed, with its date), then replaced in place.
    test::TmpfsMount other(dir / "other", "size=64k");
    if (!other.ok()) GTEST_SKIP() << "cannot mount a tmpfs here";
    const auto date = fs::last_write_time(dir / "dst" / "a.mp3");
    EXPECT_EQ(copyFile(dir / "new.mp3", dir / "dst" / "a.mp3", true, dir / "other" / "a.mp3"), 0);
    EXPECT_EQ(text(dir / "other" / "a.mp3") + text(dir / "dst" / "a.mp3"), "newernew");
    EXPECT_EQ(fs::last_write_time(dir / "other" / "a.mp3"), date);
    // …and when that copy fails (the volume is full), nothing is replaced.
    writeFile(dir / "big", std::string(100'000, 'b'));
    EXPECT_EQ(copyFile(dir / "big", dir / "dst" / "big", false), 0);
    EXPECT_EQ(copyFile(dir / "new.mp3", dir / "dst" / "big", true, dir / "other" / "big"), ENOSPC);
    EXPECT_EQ(fs::file_size(dir / "dst" / "big"), 100'000u);
    EXPECT_EQ(entries(dir / "other"), (Names{"a.mp3"}));
}

// A read-only file is replaced and removed like any other, as a rename or unlink on POSIX
// ignores the file's own mode (Windows refuses both until the read-only attribute goes).
TEST(CopyFile, ReadOnlyFilesAreReplacedAndRemoved) {
    test::TempDir dir;
    writeFile(dir / "new.mp3", "new");
    const Names names{"copied.mp3", "linked.mp3", "removed.mp3", "written.mp3"};
    for (const auto& name : names) {
        writeFile(dir / "dst" / name, "old");
        fs::permissions(dir / "dst" / name, fs::perms::owner_read);
    }
    EXPECT_EQ(copyFile(dir / "new.mp3", dir / "dst" / "copied.mp3", true), 0);
    EXPECT_EQ(replaceWithLink(dir / "new.mp3", dir / "dst" / "linked.mp3"), 0);
    EXPECT_EQ(removeFile(dir / "dst" / "removed.mp3"), 0);
    EXPECT_EQ(writeFileAtomically(dir / "dst" / "written.mp3", std::string_view("x")), 0);
    EXPECT_EQ(text(dir / "dst" / "copied.mp3") + text(dir / "dst" / "linked.mp3") +
                  text(dir / "dst" / "written.mp3"),
              "newnewx");
    EXPECT_EQ(entries(dir / "dst"), (Names{"copied.mp3", "linked.mp3", "written.mp3"}));

    writeFile(dir / "tree" / "sub" / "a.mp3", "12");
    fs::permissions(dir / "tree" / "sub" / "a.mp3", fs::perms::owner_read);
    std::int64_t freed = 0;
    EXPECT_EQ(removeTree(dir / "tree", freed), 0);
    EXPECT_EQ(freed, 2);
    EXPECT_FALSE(itemExists(dir / "tree"));
}

TEST(FileOperations, QueriesAndFolders) {
    test::TempDir dir;
    writeFile(dir / "a.mp3", "12345");
    const bool links = makeLink(dir / "a.mp3", dir / "link.mp3") &&
                       makeLink(dir / "nowhere", dir / "dangling");
    if (test::makeFifo(dir / "pipe")) {
        EXPECT_FALSE(fileInfo(dir / "pipe"));
    }

    if (links) {
        EXPECT_EQ(fileInfo(dir / "link.mp3")->size, 5);  // the target's, not the link's
    }
    EXPECT_FALSE(fileInfo(dir.path()));
    EXPECT_TRUE(itemExists(dir / "a.mp3") && !itemExists(dir / "missing"));
    if (links) {
        EXPECT_TRUE(itemExists(dir / "dangling"));
    }
    EXPECT_EQ(createDirectories(dir / "x" / "y" / "z"), 0);
    EXPECT_EQ(createDirectories(dir / "x" / "y"), 0);
    EXPECT_EQ(createDirectories(dir / "a.mp3"), ENOTDIR);
    EXPECT_EQ(createDirectories(dir / "a.mp3" / "sub"), ENOTDIR);
    EXPECT_TRUE(isWritableDirectory(dir.path()));
    EXPECT_FALSE(isWritableDirectory(dir / "missing") || isWritableDirectory(dir / "a.mp3"));
    EXPECT_EQ(writeAccess(dir / "missing" / "deeper"), WriteAccess::writable);
    EXPECT_EQ(writeAccess(dir / "a.mp3"), WriteAccess::denied);
    EXPECT_EQ(writeAccess(dir / "a.mp3" / "sub"), WriteAccess::denied);
    EXPECT_EQ(granularityForFileSystemType(0x4d44), 2s);      // FAT
    EXPECT_EQ(granularityForFileSystemType(0x65735546), 1s);  // FUSE: exfat-fuse's
    EXPECT_EQ(granularityForFileSystemType(0xEF53), 1ns);     // ext4
    EXPECT_EQ(granularityForFileSystemName("vfat"), 2s);
    EXPECT_EQ(granularityForFileSystemName("exfat"), 10ms);
    EXPECT_EQ(granularityForFileSystemName("fuse.sshfs"), 1s);
    EXPECT_EQ(granularityForFileSystemName("ntfs3"), 100ns);
    EXPECT_EQ(granularityForFileSystemName("ext4"), 1ns);
    EXPECT_EQ(granularityForFileSystemName("FAT32"), 2s);  // Windows' volume names, any case
    EXPECT_EQ(granularityForFileSystemName("exFAT"), 10ms);
    constexpr std::int64_t fatLimit = 4294967295;  // a byte short of 4 GiB
    EXPECT_EQ(largestFileForFileSystemType(0x4d44), fatLimit);
    EXPECT_EQ(largestFileForFileSystemName("FAT32"), fatLimit);
    EXPECT_EQ(largestFileForFileSystemName("msdos"), fatLimit);
    EXPECT_FALSE(largestFileForFileSystemType(0xEF53) || largestFileForFileSystemName("exfat"));

    // A rename that never replaces, even a dangling link.
    writeFile(dir / "new", "new");
    EXPECT_EQ(renameWithoutReplacing(dir / "new", dir / "a.mp3"), EEXIST);
    if (links) {
        EXPECT_EQ(renameWithoutReplacing(dir / "new", dir / "dangling"), EEXIST);
    }
    EXPECT_EQ(text(dir / "a.mp3"), "12345");
    EXPECT_EQ(renameWithoutReplacing(dir / "new", dir / "b.mp3"), 0);
    EXPECT_EQ(text(dir / "b.mp3"), "new");
    EXPECT_FALSE(itemExists(dir / "new"));
}

// What a killed writer leaves: only regular files with the temporary names, last changed
// before the given start, are removed; a name the long-name rule shortened still counts.
// Names Windows refuses or changes are refused on Windows as plain Win32 does, even through the
// long-path form that would let them in (a ':' would make an alternate data stream); elsewhere
// they are ordinary names.
TEST(FileOperations, NamesWindowsRefuses) {
    test::TempDir dir;
    const int expected = backend().name == "windows" ? EINVAL : 0;
    ASSERT_EQ(createDirectories(dir / "files"), 0);
    for (const char* name : {"CON", "nul.txt", "Com1", "Hits.", "Hits ", "AC:DC", "Why?", "a*b"}) {
        EXPECT_EQ(createDirectories(dir / toPath(name)), expected) << name;
        EXPECT_EQ(writeFileAtomically(dir / "files" / toPath(name), "x"), expected) << name;
    }
    EXPECT_EQ(createDirectories(dir / "Hits" / "Console" / "Com10" / "a.b c"), 0);
}

TEST(FileOperations, StaleTemporaryFiles) {
    test::TempDir dir;
    const Names stale{".a.mp3.morrowdeck-AbC123", "." + std::string(236, 'x') + ".morrowdeck-000000"};
    Names kept{"a.mp3.morrowdeck-AbC123", ".a.mp3.morrowdeck-AbC12", ".a.mp3.morrowdeck-AbC1234",
               ".a.mp3.morrowdeck-AbC-23", ".a.mp3.morrowdeck_AbC123", "a.mp3"};
    for (const auto& name : stale) writeFile(dir / name, "partial");
    for (const auto& name : kept) writeFile(dir / name, "x");
    kept.push_back(".d.morrowdeck-Folder");
    fs::create_directory(dir / kept.back());
    if (makeLink("a.mp3", dir / ".l.morrowdeck-Link00")) kept.push_back(".l.morrowdeck-Link00");
    const auto now = std::chrono::system_clock::now();

    EXPECT_EQ(removeStaleTemporaryFiles(dir.path(), now - 1h), 0u);  // newer: another writer's
    EXPECT_EQ(removeStaleTemporaryFiles(dir.path(), now + 1h), stale.size());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(entries(dir.path()), kept);
    EXPECT_EQ(removeStaleTemporaryFiles(dir / "missing", now + 1h), 0u);
}

// Volume limits and boundaries, on tmpfs mounts (needs root, as in CI).
TEST(FileOperations, SmallAndReadOnlyVolumes) {
    test::TempDir dir;
    test::TmpfsMount small(dir / "small", "size=256k"), readOnly(dir / "ro", "ro,size=256k");
    if (!small.ok() || !readOnly.ok()) GTEST_SKIP() << "cannot mount tmpfs here";
    const auto free = freeSpace(dir / "small").value_or(0);
    EXPECT_TRUE(free > 0 && free <= 256 * 1024) << free;
    EXPECT_EQ(timestampGranularity(dir / "small"), 1ns);
    EXPECT_FALSE(isWritableDirectory(dir / "ro"));
    // Asked without writing: a read-only volume says so (not "no space"), also for a folder
    // still to be made on it.
    EXPECT_EQ(writeAccess(dir / "ro"), WriteAccess::readOnly);
    EXPECT_EQ(writeAccess(dir / "ro" / "Backups" / "2026"), WriteAccess::readOnly);
    EXPECT_EQ(writeAccess(dir / "small" / "new"), WriteAccess::writable);
    EXPECT_EQ(probeTimestampGranularity(dir / "ro"), 1ns);  // no probe there: the guess
    EXPECT_EQ(FileSystemSync::forFolders({dir.path(), dir / "small", dir / "small"}).size(), 2u);

    // Full volume: nothing partial is left, and an older copy survives a failed replacement.
    writeTrack(dir / "big.mp3", 1000 * 1000);
    writeFile(dir / "small" / "big.mp3", "older copy");
    EXPECT_EQ(copyFile(dir / "big.mp3", dir / "small" / "big.mp3", true), ENOSPC);
    EXPECT_EQ(copyFile(dir / "big.mp3", dir / "small" / "other.mp3", false), ENOSPC);
    EXPECT_EQ(writeFileAtomically(dir / "small" / "big.mp3", readBytes(dir / "big.mp3")), ENOSPC);
    EXPECT_EQ(entries(dir / "small"), Names{"big.mp3"});
    EXPECT_EQ(text(dir / "small" / "big.mp3"), "older copy");

    // Across file systems: copy_file_range answers EXDEV, the fallback keeps date and mode.
    const auto bytes = writeTrack(dir / "small" / "track.mp3", 100 * 1000, 987'654'300);
    ASSERT_EQ(copyFile(dir / "small" / "track.mp3", dir / "track.mp3", false), 0);
    expectSameFile(dir / "track.mp3", bytes, 987'654'300);
    EXPECT_EQ(hardLink(dir / "small" / "track.mp3", dir / "link.mp3"), EXDEV);
}

// The date a file system keeps of the probe's odd second and nanoseconds, truncated or rounded,
// gives its resolution; a resolution that leaves doubt gives the coarser one.
TEST(FileOperations, GranularityFromTheProbesDate) {
    const std::int64_t written = detail::probeTime.time_since_epoch().count();
    const struct {
        std::int64_t readBack;
        std::optional<std::chrono::nanoseconds> expected;
    } cases[] = {
        {written, 1ns},                           // ext4, btrfs, tmpfs
        {written - 89, 100ns},                    // NTFS
        {written - 789, 1us},                     // microsecond file systems
        {written + 211, 1us},                     // rounded
        {written - 3'456'789, 10ms},              // exFAT
        {written - 123'456'789, 1s},              // exfat-fuse: whole seconds
        {written - 1'123'456'789, 2s},            // FAT
        {written + 876'543'211, 2s},              // whole seconds rounded up: an even one
        {written + 5'000'000'000, std::nullopt},  // not the date it was given
        {written - 123'000'000, std::nullopt},    // neither truncated nor rounded
    };
    for (const auto& [readBack, expected] : cases) {
        EXPECT_EQ(detail::granularityFromProbe(FileTime(std::chrono::nanoseconds(readBack))),
                  expected)
            << readBack;
    }

    // Linux file systems keep nanoseconds; Windows' (and Wine's) keep 100 ns steps.
    const auto finest = backend().name == "windows" ? 100ns : 1ns;
    test::TempDir dir;
    EXPECT_EQ(probeTimestampGranularity(dir.path()), finest);
    EXPECT_EQ(probeTimestampGranularity(dir / "missing"), finest);
    EXPECT_EQ(entries(dir.path()), Names{});  // the probe is gone
}

// A drive formatted exFAT and mounted through FUSE keeps whole seconds, which only a probe
// tells: its file-system type is the same as NTFS's through FUSE.
TEST(FileOperations, ProbesAnExfatFuseDrive) {
    test::TempDir dir;
    test::ExfatFuseMount drive(dir / "exfat.img", dir / "drive");
    if (!drive.skipReason().empty()) GTEST_SKIP() << drive.skipReason();
    EXPECT_EQ(probeTimestampGranularity(dir / "drive"), 1s);
    EXPECT_EQ(entries(dir / "drive"), Names{});
}

// A sync reports why it could not be done; one handle per file system, and a folder that
// cannot be opened keeps its own handle so that its failure is reported.
TEST(FileOperations, SyncsAndResolvedPaths) {
    test::TempDir dir;
    writeFile(dir / "a.mp3", "a");
    fs::create_directory(dir / "sub");
    const bool links = makeLink(dir / "a.mp3", dir / "sub" / "link.mp3");
    EXPECT_EQ(FileSystemSync(dir.path()).sync(), 0);
    EXPECT_EQ(FileSystemSync(dir / "missing").sync(), ENOENT);
    EXPECT_EQ(FileSystemSync(dir / "a.mp3").sync(), ENOTDIR);
    EXPECT_EQ(syncFolder(dir / "sub"), 0);
    EXPECT_EQ(syncFolder(dir / "missing"), ENOENT);
    const auto syncs = FileSystemSync::forFolders({dir.path(), dir / "sub", dir / "missing"});
    ASSERT_EQ(syncs.size(), 2u);
    EXPECT_EQ(syncs[1].folder(), dir / "missing");
    EXPECT_EQ(syncs[1].sync(), ENOENT);

    const auto real = resolvedPath(dir.path()).value();
    EXPECT_EQ(resolvedPath(dir / "sub" / ".." / "a.mp3"), real / "a.mp3");
    if (links) {
        EXPECT_EQ(resolvedPath(dir / "sub" / ".." / "sub" / "link.mp3"), real / "a.mp3");
    }
    EXPECT_EQ(resolvedPath(dir / "sub" / "missing.mp3"), std::nullopt);
}

// One table words the errors on every backend, in English whatever the locale; where the C
// library words them itself in the C locale (glibc), the table must agree with it.
TEST(ErrorText, EnglishForEveryErrorOfTheTable) {
    EXPECT_EQ(errorText(ENOSPC), "No space left on device");
    EXPECT_EQ(errorText(EWOULDBLOCK), errorText(EAGAIN));
    EXPECT_EQ(errorText(-1), "Unknown error -1");
    EXPECT_EQ(errorText(100000), "Unknown error 100000");
#ifdef __GLIBC__
    for (int error = 1; error < 200; ++error) {
        const std::string text = errorText(error);
        if (!text.starts_with("Unknown error")) {
            EXPECT_EQ(text, std::strerror(error)) << error;
        }
    }
#endif
}

}  // namespace
}  // namespace morrowdeck::platform
