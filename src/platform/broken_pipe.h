#pragma once

namespace morrowdeck::platform {

// From now on a write to a pipe or socket whose reader has gone fails with EPIPE instead of
// ending the process, so that a program whose output is cut short (`| head`) can finish its
// work and still report how it went. Process-wide; call from the main thread at start-up.
void ignoreBrokenPipe();

}  // namespace morrowdeck::platform
