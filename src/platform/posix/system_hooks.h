#pragma once
// The few services the POSIX implementations in this folder need that POSIX itself does not
// offer, or offers only more slowly. The Linux backend answers them with the kernel's own
// calls (linux/system_hooks.cpp); the generic backend with POSIX alone or "unknown"
// (generic/system_hooks.cpp). Internal to src/platform.
namespace morrowdeck::platform::hooks {

// Tells the system a file opened for reading will be read once, front to back, so that it can
// read ahead further. Only a hint: nothing happens where there is no such call.
void adviseSequentialRead(int fd);

}  // namespace morrowdeck::platform::hooks
