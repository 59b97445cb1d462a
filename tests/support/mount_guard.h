#pragma once

#include <sys/mount.h>

#include <filesystem>
#include <string>

namespace morrowdeck::test {

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

  private:
    std::filesystem::path where_;
    bool ok_ = false;
};

}  // namespace morrowdeck::test
