#!/usr/bin/env bash
# Builds bench_restore and bench_backup (Release), generates two libraries in a temporary
# folder (bench_backup's random-content files, then silent WAV files of the same sizes), times
# restores of a backup of each with and without its saved Serato records against cp -a, and
# removes everything it created.
#
#   bench/run_restore.sh [BUILD_DIR]     (default: <repo>/build-bench)
#
# FILES, SIZE_MB and ROUNDS in the environment shrink the run; WAV=0 skips the WAV library,
# RANDOM_FILES=0 the random one. THREADS sets the restore's copy workers (16), SETTLE the pause
# after the sync before each side; TMPDIR moves the temporary folder off /tmp.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build-bench}"
files="${FILES:-3000}"
size_mb="${SIZE_MB:-2700}"
rounds="${ROUNDS:-3}"
wav="${WAV:-1}"
random_files="${RANDOM_FILES:-1}"
settle="${SETTLE:-1}"
threads="${THREADS:-16}"
tmp="${TMPDIR:-/tmp}"

for tool in cp df sync; do
  if ! command -v "$tool" >/dev/null; then
    echo "run_restore.sh: $tool is missing" >&2
    exit 2
  fi
done

# The largest moment holds the library, its backup (about 1.5 copies of each file, one per
# crate entry; the copy without saved records is hard links) and one restore's output.
need_mb=$(( size_mb * 4 + 1024 ))
avail_mb="$(df -Pm "$tmp" | awk 'NR == 2 { print $4 }')"
if [ "$avail_mb" -lt "$need_mb" ]; then
  echo "run_restore.sh: $tmp has $avail_mb MB free, and this run needs about $need_mb MB" \
    "(a library, its backup and one restore of it). Please free some space, set TMPDIR to a" \
    "roomier folder, or shrink the run, for example SIZE_MB=600 FILES=800." >&2
  exit 2
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORROWDECK_BENCH=ON \
  -DMORROWDECK_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_restore bench_backup >/dev/null

work="$(mktemp -d "$tmp/morrowdeck-restore-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
# The engines also look at the running user's Serato files in the home folder; an empty home
# keeps whoever runs the benchmark from changing what it measures.
mkdir "$work/home"
export HOME="$work/home"

status=0
measure() {  # name, generator command...
  local name="$1"
  shift
  echo "---- library: $name ----"
  "$@"
  echo
  "$build/bench/bench_restore" measure "$work/$name" "$work/$name-work" --rounds "$rounds" \
    --settle "$settle" --threads "$threads" | tee "$work/$name.txt" || status=1
  rm -rf "$work/$name" "$work/$name-work"
  sync
  echo
}

echo "restore benchmark: warm page cache (as root dropped and re-read before each side), $rounds rounds, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
if [ "$random_files" -ne 0 ]; then
  measure random "$build/bench/bench_backup" generate "$work/random" --files "$files" \
    --size-mb "$size_mb"
fi
if [ "$wav" -ne 0 ]; then
  measure wav "$build/bench/bench_restore" generate-wav "$work/wav" --files "$files" \
    --size-mb "$size_mb"
fi

echo "==== restore benchmark: medians of $rounds warm rounds ===="
echo "commit   $(git -C "$here" rev-parse --short HEAD 2>/dev/null || echo unknown)"
echo "machine  $(nproc) cores, $(uname -sr)"
for name in random wav; do
  if [ -f "$work/$name.txt" ]; then
    echo
    case "$name" in
      random) echo "random-content files named .mp3/.flac/.wav/.m4a/.aiff ($files files, about $size_mb MB)" ;;
      wav) echo "silent WAV files ($files files, about $size_mb MB)" ;;
    esac
    sed -n '/^---- summary/,$p' "$work/$name.txt" | tail -n +2
  fi
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
if [ "$status" -ne 0 ]; then
  echo "FAILED: a side reported an error or a check did not match; see the messages above"
fi
exit "$status"
