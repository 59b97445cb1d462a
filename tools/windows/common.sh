# Shared settings of the tools/windows scripts (sourced, not run).
# The Windows dependencies are built once per machine into a cache folder outside the work
# tree; MORROWDECK_WINDOWS_CACHE moves it.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cache="${MORROWDECK_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/morrowdeck-windows}"
prefix="$cache/prefix"
export MORROWDECK_WINDOWS_PREFIX="$prefix"
toolchain="$here/tools/windows/toolchain.cmake"
jobs="$(nproc)"
# Wine: no Mono or Gecko prompts offline, no debug chatter, a prefix of the project's own.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${WINEPREFIX:-$cache/wine}"
wine64_command() { command -v wine64 || echo /usr/lib/wine/wine64; }

# Runs apt-get as root or through sudo; stops with a message when neither is possible.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; return; fi
  command -v sudo >/dev/null || { echo "windows: need root or sudo for: $*" >&2; exit 1; }
  sudo "$@"
}

# Starts Wine's services outside any output pipe: ctest under Wine hangs or crawls otherwise.
start_wine() {
  mkdir -p "$WINEPREFIX"
  wineserver -p >/dev/null 2>&1 </dev/null || true
  "$(wine64_command)" wineboot.exe >/dev/null 2>&1 </dev/null || true
}
stop_wine() { wineserver -k >/dev/null 2>&1 || true; }
