#pragma once
// The few services the POSIX implementations in this folder need that POSIX itself does not
// offer, or offers only more slowly. The Linux backend answers them with the kernel's own
// calls (linux/system_hooks.cpp); the generic backend with POSIX alone or "unknown"
// (generic/system_hooks.cpp). Internal to src/platform.
namespace morrowdeck::platform::hooks {

// Tells the system a file opened for reading will be read once, front to back, so that it can
// read ahead further. Only a hint: nothing happens where there is no such call.
void adviseSequentialRead(int fd);

// Opens a folder only to look up the entries inside it by name (fstatat), closed on exec: the
// file descriptor, or -1 with errno set (ENOTDIR when the path is no folder). Linux needs no
// permission to list the folder for that; elsewhere it is opened for reading.
int openFolderForQueries(const char* path);

}  // namespace morrowdeck::platform::hooks
