#pragma once

#include <filesystem>
#include <string>

namespace morrowdeck::test {

// A tmpfs mounted for the length of a test (needs root; CI runs as root). ok() is false when
// the machine refuses the mount, and the test should skip.
class TmpfsMount {
  public:
    TmpfsMount(const std::filesystem::path& where, const std::string& options);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    bool ok() const { return mounted_; }

  private:
    std::filesystem::path where_;
    bool mounted_ = false;
};

}  // namespace morrowdeck::test
