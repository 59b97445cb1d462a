#include "support/page_cache.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <vector>

namespace morrowdeck::bench {

bool dropPageCache() {
    ::sync();
    std::ofstream out("/proc/sys/vm/drop_caches");
    out << "1\n";
    out.flush();
    return static_cast<bool>(out);
}

std::int64_t readThrough(const std::filesystem::path& file) {
    thread_local std::vector<char> buffer(1 << 20);
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    std::int64_t bytes = 0;
    for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;)
        bytes += got;
    ::close(fd);
    return bytes;
}

std::int64_t readTree(const std::filesystem::path& folder) {
    std::int64_t bytes = 0;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error)) bytes += readThrough(it->path());
    }
    return bytes;
}

}  // namespace morrowdeck::bench
