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
// Windows attaches no loop devices: the drive is never made, and the test skips.
class LoopDrive {
  public:
    LoopDrive(const std::filesystem::path&, const std::string&) {}
    const std::string& skipReason() const { return skipReason_; }
    const std::string& device() const { return device_; }
    bool mount(const std::filesystem::path&, const std::filesystem::path&) { return false; }

  private:
    std::string device_;
    std::string skipReason_ = "Windows has no loop devices";
};
#else

// A small ext4 file system with a volume label, made in an image file and attached to a loop
// device for the life of a test, optionally mounted like a plugged-in drive. It needs root and
// mkfs.ext4, losetup and mount, as in CI: skipReason() says why the drive could not be made,
// and the test should skip. Everything it set up is undone by the destructor, also when the
// test fails: the mount is detached, the loop device released, the image and the folders it
// was told to remove are deleted.
class LoopDrive {
  public:
    LoopDrive(const std::filesystem::path& image, const std::string& label) : image_(image) {
        if (::geteuid() != 0) {
            skipReason_ = "attaching a loop device needs root";
            return;
        }
        for (const char* tool : {"mkfs.ext4", "losetup", "mount"})
            if (!run(std::string("command -v ") + tool)) {
                skipReason_ = std::string(tool) + " is not installed";
                return;
            }
        if (!run("truncate -s 8M '" + image.native() + "' && mkfs.ext4 -q -F -L '" + label + "' '" +
                 image.native() + "'")) {
            skipReason_ = "mkfs.ext4 failed";
            return;
        }
        device_ = output("losetup --find --show '" + image.native() + "'");
        if (!device_.starts_with("/dev/")) {
            device_.clear();
            skipReason_ = "no loop device could be attached";
        }
    }
    ~LoopDrive() {
        if (!mountPoint_.empty()) ::umount2(mountPoint_.c_str(), MNT_DETACH);
        if (!device_.empty()) run("losetup -d '" + device_ + "'");
        std::error_code error;
        if (!removeAfter_.empty()) std::filesystem::remove_all(removeAfter_, error);
        std::filesystem::remove(image_, error);
    }
    LoopDrive(const LoopDrive&) = delete;
    LoopDrive& operator=(const LoopDrive&) = delete;

    const std::string& skipReason() const { return skipReason_; }
    const std::string& device() const { return device_; }

    // Mounts the drive at `where`, creating the folders; `removeAfter` (a folder holding
    // `where`) is removed after the drive is detached. False, with skipReason(), on failure.
    bool mount(const std::filesystem::path& where, const std::filesystem::path& removeAfter) {
        removeAfter_ = removeAfter;
        std::error_code error;
        std::filesystem::create_directories(where, error);
        if (error || ::mount(device_.c_str(), where.c_str(), "ext4", 0, nullptr) != 0) {
            skipReason_ = "cannot mount " + device_ + " at " + where.native();
            return false;
        }
        mountPoint_ = where;
        return true;
    }

  private:
    static bool run(const std::string& command) {
        return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
    }
    static std::string output(const std::string& command) {
        std::string text;
        if (FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
                text += buffer;
            ::pclose(pipe);
        }
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        return text;
    }

    std::filesystem::path image_;
    std::string device_;
    std::filesystem::path mountPoint_;
    std::filesystem::path removeAfter_;
    std::string skipReason_;
};
#endif

}  // namespace morrowdeck::test
