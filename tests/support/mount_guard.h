#pragma once

#include <filesystem>
#include <string>

#ifndef _WIN32
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#endif

namespace morrowdeck::test {

#ifdef _WIN32
// Windows mounts no tmpfs and attaches no loop devices: both report that they could not, and
// the tests that need them skip.
class TmpfsMount {
  public:
    TmpfsMount(const std::filesystem::path&, const std::string&) {}
    bool ok() const { return false; }
    bool remountReadOnly() { return false; }
};

class ExfatFuseMount {
  public:
    ExfatFuseMount(const std::filesystem::path&, const std::filesystem::path&) {}
    const std::string& skipReason() const { return reason_; }

  private:
    std::string reason_ = "Windows has no loop devices or FUSE mounts";
};
#else

// A tmpfs mounted for the length of a test ("ro" among the options makes it read-only). It
// needs root, as in CI: ok() is false when the machine refuses, and the test should skip.
class TmpfsMount {
  public:
    TmpfsMount(const std::filesystem::path& where, const std::string& options) : where_(where) {
        std::filesystem::create_directories(where);
        ok_ = ::mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~TmpfsMount() {
        if (ok_) ::umount2(where_.c_str(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    bool ok() const { return ok_; }
    // Makes the mounted tmpfs read-only, keeping what it holds.
    bool remountReadOnly() {
        return ::mount(nullptr, where_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

  private:
    std::filesystem::path where_;
    bool ok_ = false;
};

// A 64 MB exFAT image mounted through FUSE (exfat-fuse, whole-second dates) on a loop device
// for the length of a test, as a DJ's drive is where the kernel has no exFAT driver. Needs
// root, exfatprogs and exfat-fuse: skipReason() says what is missing. The destructor unmounts
// and detaches what the constructor set up, also when the test fails.
class ExfatFuseMount {
  public:
    ExfatFuseMount(const std::filesystem::path& image, const std::filesystem::path& where)
        : where_(where) {
        if (::geteuid() != 0) {
            reason_ = "needs root for a loop device";
            return;
        }
        for (const char* tool : {"mkfs.exfat", "mount.exfat-fuse", "losetup", "truncate"})
            if (!run(std::string("command -v ") + tool)) {
                reason_ = std::string(tool) + " is not installed";
                return;
            }
        std::filesystem::create_directories(where);
        if (!run("truncate -s 64M " + quoted(image) + " && mkfs.exfat " + quoted(image))) {
            reason_ = "mkfs.exfat failed";
            return;
        }
        if (FILE* pipe = ::popen(("losetup --find --show " + quoted(image)).c_str(), "r")) {
            char line[256] = {};
            if (std::fgets(line, sizeof line, pipe)) loop_ = line;
            ::pclose(pipe);
            while (!loop_.empty() && (loop_.back() == '\n' || loop_.back() == ' '))
                loop_.pop_back();
        }
        if (loop_.empty()) {
            reason_ = "no loop device available";
            return;
        }
        mounted_ = run("mount.exfat-fuse " + quoted(loop_) + " " + quoted(where));
        if (!mounted_) reason_ = "mount.exfat-fuse failed (no /dev/fuse?)";
    }
    ~ExfatFuseMount() {
        if (mounted_ && !run("umount " + quoted(where_))) run("fusermount -u " + quoted(where_));
        if (!loop_.empty()) run("losetup -d " + quoted(loop_));
    }
    ExfatFuseMount(const ExfatFuseMount&) = delete;
    ExfatFuseMount& operator=(const ExfatFuseMount&) = delete;

    // Empty when mounted.
    const std::string& skipReason() const { return reason_; }

  private:
    static std::string quoted(const std::filesystem::path& path) {
        std::string text = "'";
        for (const char c : path.native())
            text += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return text + "'";
    }
    static bool run(const std::string& command) {
        return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
    }

    std::filesystem::path where_;
    std::string loop_;
    std::string reason_;
    bool mounted_ = false;
};
#endif

}  // namespace morrowdeck::test
