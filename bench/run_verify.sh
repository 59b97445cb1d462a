#!/usr/bin/env bash
# Times `morrowdeck-cli verify` against `cat` of the same files to /dev/null with hyperfine:
# generates a library, backs it up once (which writes the manifest), then checks the backup
# and reads its crate folders with cat, side by side, warm page cache. Removes what it made.
#
#   bench/run_verify.sh [BUILD_DIR]      (default: <repo>/build-bench)
#
# FILES and SIZE_MB set the library, RUNS the hyperfine runs per side, TMPDIR the folder.
# The first backup's time against one `cp -a` per crate is bench/run_backup.sh's to measure.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build-bench}"
files="${FILES:-1500}"
size_mb="${SIZE_MB:-1500}"
runs="${RUNS:-10}"
tmp="${TMPDIR:-/tmp}"

for tool in hyperfine find cat df; do
  if ! command -v "$tool" >/dev/null; then
    echo "run_verify.sh: $tool is missing" >&2
    exit 2
  fi
done
need_mb=$(( size_mb * 5 / 2 + 512 ))
avail_mb="$(df -Pm "$tmp" | awk 'NR == 2 { print $4 }')"
if [ "$avail_mb" -lt "$need_mb" ]; then
  echo "run_verify.sh: $tmp has $avail_mb MB free, and this run needs about $need_mb MB." \
    "Set TMPDIR to a roomier folder or shrink the run, for example SIZE_MB=400 FILES=400." >&2
  exit 2
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORROWDECK_BENCH=ON \
  -DMORROWDECK_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_backup morrowdeck-cli >/dev/null
bench="$build/bench/bench_backup"
cli="$build/src/cli/morrowdeck-cli"

work="$(mktemp -d "$tmp/morrowdeck-verify-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
mkdir "$work/home"
export HOME="$work/home"  # no Serato database of whoever runs the benchmark

"$bench" generate "$work/lib" --files "$files" --size-mb "$size_mb" >/dev/null
"$bench" backup "$work/lib" "$work/backup" >/dev/null
# The files verify reads: every file of the crate folders (the metadata folder holds none of
# the audio), each once.
cat_files="find '$work/backup' -path '$work/backup/.morrowdeck' -prune -o -type f -print0 | xargs -0 cat -- >/dev/null"
"$cli" verify "$work/backup" >/dev/null  # untimed: the check passes and the cache is warm

echo "verify benchmark: $files files, about $size_mb MB, warm page cache, load average $(cut -d' ' -f1-3 /proc/loadavg)"
hyperfine --warmup 1 --runs "$runs" --export-json "$work/verify.json" \
  -n verify "'$cli' verify '$work/backup'" \
  -n cat "$cat_files"

python3 - "$work/verify.json" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
verify, cat = results["verify"]["median"], results["cat"]["median"]
speed = cat / verify
print(f"median verify {verify:.3f} s, cat {cat:.3f} s: verify reads at {speed:.0%} of cat's "
      f"speed (aim >= 80%: {'met' if speed >= 0.8 else 'MISSED'})")
PY
