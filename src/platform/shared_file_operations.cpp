#include "platform/shared_file_operations.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "platform/file_operations.h"
#include "platform/path_text.h"

namespace morrowdeck::platform {

namespace shared {

std::string temporaryPrefix(std::string_view name) {
    const std::size_t budget = kMaxNameBytes - 1 - kTempMarker.size() - kSuffixLength;
    std::size_t length = std::min(name.size(), budget);
    while (length > 0 && length < name.size() &&
           (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) {
        --length;
    }
    std::string prefix;
    prefix.reserve(1 + length + kTempMarker.size());
    prefix.append(".").append(name.substr(0, length)).append(kTempMarker);
    return prefix;
}

std::string randomSuffix() {
    static constexpr char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[kSuffixLength] = {};
    if (!fillRandom(bytes, sizeof bytes)) {
        // No entropy yet (early boot): a process-wide counter mixed with the clock still makes
        // names distinct within this process, and the exclusive create resolves clashes.
        static std::atomic<std::uint64_t> counter{0};
        std::uint64_t value =
            (counter.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull ^
            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        for (auto& byte : bytes) {
            byte = static_cast<unsigned char>(value);
            value >>= 8;
        }
    }
    std::string suffix;
    for (const unsigned char byte : bytes)
        suffix.push_back(kAlphabet[byte % (sizeof kAlphabet - 1)]);
    return suffix;
}

std::filesystem::path temporaryPath(const std::filesystem::path& target) {
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    return folder / toPath(temporaryPrefix(toUtf8(target.filename())) + randomSuffix());
}

KeptAside keepAside(const std::filesystem::path& dest, const std::filesystem::path& keepAs) {
    if (keepAs.empty() || !itemExists(dest)) return {};
    if (const int error = createDirectories(keepAs.parent_path())) return {false, error};
    int error = renameWithoutReplacing(dest, keepAs);
    if (error == 0) return {true, 0};
    if (error == EXDEV) error = copyFileDurably(dest, keepAs);
    if (error == 0 || error == EEXIST || error == ENOENT) return {};
    return {false, error};
}

}  // namespace shared

namespace detail {

std::optional<std::chrono::nanoseconds> granularityFromProbe(FileTime readBack) {
    using std::chrono::nanoseconds;
    static constexpr std::int64_t kSteps[] = {
        2'000'000'000, 1'000'000'000, 100'000'000, 10'000'000, 1'000'000, 100'000,
        10'000,        1'000,         100,         10,         1};
    const std::int64_t read = readBack.time_since_epoch().count();
    const std::int64_t written = probeTime.time_since_epoch().count();
    const std::int64_t distance = read > written ? read - written : written - read;
    for (const std::int64_t step : kSteps)
        if (read % step == 0 && distance < step) return nanoseconds(step);
    return std::nullopt;
}

}  // namespace detail

std::chrono::nanoseconds granularityForFileSystemType(long type) {
    using namespace std::chrono_literals;
    // statfs f_type values (linux/magic.h and the drivers); masked because 32-bit systems
    // report them in a signed int.
    switch (static_cast<unsigned long>(type) & 0xFFFFFFFFul) {
        case 0x4d44:  // vfat, msdos
            return 2s;
        case 0x2011BAB0:  // exfat
            return 10ms;
        case 0x65735546:  // fuse, fuseblk: ntfs-3g (100 ns) or exfat-fuse (1 s); the coarser
            return 1s;
        case 0x5346544e:  // ntfs (old kernel driver)
        case 0x7366746e:  // ntfs3
        case 0xFF534D42:  // cifs
        case 0xFE534D42:  // smb3: SMB carries times in 100 ns units
            return 100ns;
        case 0x482b:  // hfsplus
        case 0x4244:  // hfs
            return 1s;
        default:
            return 1ns;
    }
}

std::chrono::nanoseconds granularityForFileSystemName(std::string_view type) {
    using namespace std::chrono_literals;
    // Mount tables name types in lower case; Windows names them "NTFS", "FAT32", "exFAT".
    std::string name(type);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    if (name == "vfat" || name == "msdos" || name == "fat" || name == "fat32" || name == "fat16" ||
        name == "fat12")
        return 2s;
    if (name == "exfat") return 10ms;
    if (name == "fuse" || name == "fuseblk" || name.starts_with("fuse.")) return 1s;
    if (name == "ntfs" || name == "ntfs3" || name == "refs" || name == "cifs" || name == "smb3" ||
        name == "smbfs")
        return 100ns;
    if (name == "hfs" || name == "hfsplus") return 1s;
    return 1ns;
}

namespace {

constexpr std::int64_t fatLargestFile = (std::int64_t{1} << 32) - 1;

}  // namespace

std::optional<std::int64_t> largestFileForFileSystemType(long type) {
    if ((static_cast<unsigned long>(type) & 0xFFFFFFFFul) == 0x4d44) return fatLargestFile;
    return std::nullopt;
}

std::optional<std::int64_t> largestFileForFileSystemName(std::string_view type) {
    // FAT is the only type whose timestamps step by two seconds.
    using namespace std::chrono_literals;
    if (granularityForFileSystemName(type) == 2s) return fatLargestFile;
    return std::nullopt;
}

std::chrono::nanoseconds timestampGranularity(const std::filesystem::path& path) {
    const auto type = shared::fileSystemTypeOf(path);
    if (!type) return std::chrono::nanoseconds(1);
    return type->name.empty() ? granularityForFileSystemType(type->number)
                              : granularityForFileSystemName(type->name);
}

std::optional<std::int64_t> largestFileSize(const std::filesystem::path& path) {
    const auto type = shared::fileSystemTypeOf(path);
    if (!type) return std::nullopt;
    return type->name.empty() ? largestFileForFileSystemType(type->number)
                              : largestFileForFileSystemName(type->name);
}

bool isTemporaryName(std::string_view name) {
    using shared::kMaxNameBytes, shared::kSuffixLength, shared::kTempMarker;
    if (name.size() < 1 + kTempMarker.size() + kSuffixLength || name.size() > kMaxNameBytes ||
        name.front() != '.') {
        return false;
    }
    const auto suffix = name.substr(name.size() - kSuffixLength);
    return name.substr(name.size() - kSuffixLength - kTempMarker.size(), kTempMarker.size()) ==
               kTempMarker &&
           std::all_of(suffix.begin(), suffix.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
           });
}

std::filesystem::path temporaryNameBeside(const std::filesystem::path& file) {
    return file.parent_path() /
           toPath(shared::temporaryPrefix(toUtf8(file.filename())) + shared::randomSuffix());
}

}  // namespace morrowdeck::platform
