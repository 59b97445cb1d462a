#!/usr/bin/env bash
# Builds bench_backup (Release), generates libraries in a temporary folder, times backups
# against cp -a and rsync -a doing the same work, reports the backup's peak memory for a
# library of 200,000 crate entries, and removes everything it created.
#
#   bench/run_backup.sh [BUILD_DIR]      (default: <repo>/build-bench)
#
# FILES, SIZE_MB, SMALL and ROUNDS in the environment shrink the run (SMALL=0 skips the
# library of small files, MEMORY_ENTRIES=0 the memory measurement). THREADS, JOBS and SETTLE
# set the engine's copy workers, the parallel cp's process count and the pause after the
# sync before each side; TMPDIR moves the temporary folder off /tmp.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build-bench}"
files="${FILES:-3000}"
size_mb="${SIZE_MB:-2700}"
small="${SMALL:-20000}"
rounds="${ROUNDS:-3}"
memory_entries="${MEMORY_ENTRIES:-200000}"
memory_files="${MEMORY_FILES:-20000}"
memory_crates="${MEMORY_CRATES:-2000}"
threads="${THREADS:-16}"
jobs="${JOBS:-16}"
settle="${SETTLE:-1}"
tmp="${TMPDIR:-/tmp}"

for tool in cp rsync df; do
  if ! command -v "$tool" >/dev/null; then
    echo "run_backup.sh: $tool is missing" >&2
    exit 2
  fi
done

# The largest moment of a measurement holds the library and three trees of its crate entries
# (the engine's, cp's and rsync's); a third of the files sit in two or three crates, so the
# entries come to about 1.5 times the files. Small files average 34 KiB; the memory library
# has 4 KiB files and one copy per entry. Only one library exists at a time.
need_audio=$(( size_mb * 11 / 2 ))
need_small=$(( small * 34 * 11 / 2 / 1000 ))
need_memory=$(( (memory_files + memory_entries) * 4 * 12 / 10 / 1000 ))
need_mb=$(( need_audio > need_small ? need_audio : need_small ))
need_mb=$(( (need_mb > need_memory ? need_mb : need_memory) + 1024 ))
avail_mb="$(df -Pm "$tmp" | awk 'NR == 2 { print $4 }')"
if [ "$avail_mb" -lt "$need_mb" ]; then
  echo "run_backup.sh: $tmp has $avail_mb MB free, and this run needs about $need_mb MB" \
    "(a library plus three backups of it). Please free some space, set TMPDIR to a" \
    "roomier folder, or shrink the run, for example SIZE_MB=600 FILES=800 SMALL=5000." >&2
  exit 2
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORROWDECK_BENCH=ON \
  -DMORROWDECK_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_backup >/dev/null
bench="$build/bench/bench_backup"

work="$(mktemp -d "$tmp/morrowdeck-backup-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
# The engine also reads the running user's Serato database from the home folder; an empty
# home keeps whoever runs the benchmark from changing what it measures.
mkdir "$work/home"
run() { HOME="$work/home" "$bench" "$@"; }

status=0
measure() {  # name, generate arguments...
  local name="$1"
  shift
  echo "---- library: $name ----"
  run generate "$work/$name" "$@"
  echo
  run measure "$work/$name" "$work/$name-work" --rounds "$rounds" --threads "$threads" \
    --jobs "$jobs" --settle "$settle" | tee "$work/$name.txt" || status=1
  rm -rf "$work/$name" "$work/$name-work"
  sync
  echo
}

echo "backup benchmark: warm page cache (every source is read before each side; as root the"
echo "cache is dropped first), $rounds rounds, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
measure audio --files "$files" --size-mb "$size_mb"
if [ "$small" -gt 0 ]; then
  measure small --small "$small"
fi

# Peak memory: the crates list memory_entries entries of memory_files existing 4 KiB files,
# each file in memory_entries / memory_files crates. Every entry becomes a copy or link job,
# as in a real library; entries of missing files would leave the plan early and show less.
if [ "$memory_entries" -gt 0 ]; then
  echo "---- library: memory ----"
  run generate "$work/memory" --small "$memory_files" --min-kb 4 --max-kb 4 \
    --entries "$memory_entries" --crates "$memory_crates"
  echo
  for mode in copy rerun dedup; do
    case "$mode" in
      copy) run backup "$work/memory" "$work/memory-copy" --threads "$threads" ;;
      rerun) run backup "$work/memory" "$work/memory-copy" --threads "$threads" ;;
      dedup) run backup "$work/memory" "$work/memory-dedup" --threads "$threads" --dedup ;;
    esac | tee "$work/memory-$mode.txt" || status=1
    echo
  done
  rm -rf "$work/memory" "$work/memory-copy" "$work/memory-dedup"
fi

peak_line() {  # file label
  awk -v label="$2" '/^peak RSS/ {
      kib = substr($5, 2) + 0; mb = kib * 1024 / 1e6
      printf "%-38s %6.1f MB   aim < 100 MB   %s\n", label, mb, (mb < 100 ? "met" : "MISSED") }' "$1"
}

echo "==== backup benchmark: medians of $rounds warm rounds ===="
echo "commit   $(git -C "$here" rev-parse --short HEAD 2>/dev/null || echo unknown)"
echo "machine  $(nproc) cores, $(uname -sr), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "cache    warm: every source read before each side (as root after dropping the page cache); then ${settle} s"
for name in audio small; do
  if [ -f "$work/$name.txt" ]; then
    echo
    case "$name" in
      audio) echo "audio-sized files ($files files, about $size_mb MB)" ;;
      small) echo "small files ($small files of 4-64 KiB)" ;;
    esac
    sed -n '/^---- summary/,$p' "$work/$name.txt" | tail -n +2
  fi
done
if [ -f "$work/memory-copy.txt" ]; then
  echo
  echo "peak memory of the backup process, $memory_entries entries ($memory_files files of 4 KiB in $memory_crates crates)"
  peak_line "$work/memory-copy.txt" "copy into every crate folder"
  peak_line "$work/memory-rerun.txt" "re-run, all up to date"
  peak_line "$work/memory-dedup.txt" "de-duplicated"
fi
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
if [ "$status" -ne 0 ]; then
  echo "FAILED: a side reported an error or a check did not match; see the messages above"
fi
exit "$status"
