#include "platform/mount_table.h"

#include <libmount.h>

#include <memory>

namespace morrowdeck::platform {

namespace {

struct TableFree {
    void operator()(libmnt_table* table) const { mnt_unref_table(table); }
};
struct CacheFree {
    void operator()(libmnt_cache* cache) const { mnt_unref_cache(cache); }
};
struct IterFree {
    void operator()(libmnt_iter* iter) const { mnt_free_iter(iter); }
};

std::string text(const char* value) {
    return value ? std::string(value) : std::string();
}

}  // namespace

std::vector<Mount> readMountTable(const std::filesystem::path& table) {
    std::vector<Mount> mounts;
    std::unique_ptr<libmnt_table, TableFree> parsed(mnt_new_table());
    if (!parsed || mnt_table_parse_file(parsed.get(), table.c_str()) != 0) return mounts;
    std::unique_ptr<libmnt_iter, IterFree> iter(mnt_new_iter(MNT_ITER_FORWARD));
    if (!iter) return mounts;
    libmnt_fs* fs = nullptr;
    while (mnt_table_next_fs(parsed.get(), iter.get(), &fs) == 0) {
        Mount mount{text(mnt_fs_get_source(fs)), text(mnt_fs_get_target(fs)),
                    text(mnt_fs_get_fstype(fs))};
        if (!mount.mountPoint.empty()) mounts.push_back(std::move(mount));
    }
    return mounts;
}

namespace {

// A tag of the file system on a device, from libmount's device cache (blkid).
std::string deviceTag(const std::string& device, const char* tag) {
    // Only a device node can carry a file system's tags; probing other sources would only fail.
    if (!device.starts_with("/dev/")) return {};
    std::unique_ptr<libmnt_cache, CacheFree> cache(mnt_new_cache());
    if (!cache) return {};
    // The value belongs to the cache (it is freed with it), so it is copied, never freed here.
    return text(mnt_cache_find_tag_value(cache.get(), device.c_str(), tag));
}

}  // namespace

std::string volumeLabel(const std::string& device) {
    return deviceTag(device, "LABEL");
}

std::string volumeUuid(const std::string& device) {
    return deviceTag(device, "UUID");
}

}  // namespace morrowdeck::platform
