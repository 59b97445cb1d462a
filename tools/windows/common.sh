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

# apt-get source needs a deb-src entry. When the machine has none, add one in a sources file of
# our own that mirrors its deb entries.
have_deb_src() {
  grep -rqsE '^(deb-src |Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null
}
ensure_deb_src() {
  have_deb_src && return
  local own=/etc/apt/sources.list.d/morrowdeck-deb-src.sources entries=""
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] && entries+="$(sed -E 's/^Types:.*/Types: deb-src/' "$file")"$'\n\n'
  done
  if [ -f /etc/apt/sources.list ]; then
    local lines
    lines="$(grep -E '^deb ' /etc/apt/sources.list | sed -E 's/^deb /deb-src /' || true)"
    [ -n "$lines" ] && { echo "$lines" | as_root tee /etc/apt/sources.list.d/morrowdeck-deb-src.list >/dev/null; }
  fi
  [ -n "$entries" ] && { printf '%s' "$entries" | as_root tee "$own" >/dev/null; }
  have_deb_src || { echo "windows: no deb-src entry and none could be made from the apt sources" >&2; exit 1; }
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq ||
    { echo "windows: apt-get update failed after adding $own" >&2; exit 1; }
}

# Unpacks Debian's source package NAME (patches applied) under $cache/src and prints its folder.
source_of() {
  local name="$1" folder
  folder="$(find "$cache/src" -maxdepth 1 -type d -name "$name-[0-9]*" | sort | tail -n 1)"
  if [ -z "$folder" ]; then
    ensure_deb_src
    mkdir -p "$cache/src"
    (cd "$cache/src" && apt-get source -qq "$name" >/dev/null 2>"$cache/src/$name.log") ||
      { cat "$cache/src/$name.log" >&2; echo "windows: apt-get source $name failed" >&2; exit 1; }
    folder="$(find "$cache/src" -maxdepth 1 -type d -name "$name-[0-9]*" | sort | tail -n 1)"
  fi
  echo "$folder"
}

# Qt for Windows (tools/windows/qt) and the folders of the DLLs the application needs beyond
# Windows' own: Qt's, and the compiler's runtime that Qt's DLLs link to. The static core
# programs need none of them.
qt="$cache/qt"
app_dll_dirs() {
  echo "$qt/bin"
  local dll
  for dll in libstdc++-6.dll libwinpthread-1.dll; do
    dirname "$(realpath "$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")")"
  done
}
# The same folders as Wine's WINEPATH (drive Z: is the Linux root).
app_winepath() {
  local dir path=""
  while IFS= read -r dir; do path+="${path:+;}Z:${dir//\//\\}"; done < <(app_dll_dirs)
  echo "$path"
}
