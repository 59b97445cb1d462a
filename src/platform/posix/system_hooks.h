#pragma once
#include <cstddef>

#include "platform/file_operations.h"

// The few services the POSIX implementations in this folder need that POSIX itself does not
// offer, or offers only more slowly. The Linux backend answers them with the kernel's own
// calls (linux/system_hooks.cpp); the generic backend with POSIX alone, or by saying it cannot
// (generic/system_hooks.cpp), and the callers then fall back to plain POSIX. Internal to
// src/platform; thread-safe.
namespace morrowdeck::platform::hooks {

// Tells the system a file opened for reading will be read once, front to back, so that it can
// read ahead further. Only a hint: nothing happens where there is no such call.
void adviseSequentialRead(int fd);

// Copies from the current position of `in` to that of `out` inside the kernel, starting with
// `first` (clone, copy_file_range, sendfile) and going on to the later methods where one cannot
// serve this pair of files. 0 when the data was copied or no method could serve (the caller's
// read/write loop then copies what is left: the kernel methods move both positions), else the
// errno of a copy that failed.
int copyInKernel(int in, int out, detail::CopyMethod first);

// rename(2) that fails with EEXIST rather than replace what is at `to`. 0 or errno; EINVAL or
// ENOSYS when the system or the file system cannot rename that way (the caller then links).
int renameNoReplace(const char* from, const char* to);

// Flushes the whole file system holding the open folder `fd`, reporting write-back errors
// the kernel met since it was opened. 0 or errno; ENOSYS where there is no such call (the
// caller then flushes the folder alone).
int syncFileSystem(int fd);

// True when syncFileSystem() can flush a whole file system. Where it cannot, every file a copy
// writes is flushed on its own, and so is the folder that gets its name, so that a run's end
// sync still means every file it wrote is on the disk.
bool flushesWholeFileSystem();

// Fills the buffer with random bytes from the system, without blocking; false when it cannot.
bool fillRandom(unsigned char* bytes, std::size_t size);
// Opens a folder only to look up the entries inside it by name (fstatat), closed on exec: the
// file descriptor, or -1 with errno set (ENOTDIR when the path is no folder). Linux needs no
// permission to list the folder for that; elsewhere it is opened for reading.
int openFolderForQueries(const char* path);

}  // namespace morrowdeck::platform::hooks
