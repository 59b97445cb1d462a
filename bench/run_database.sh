#!/usr/bin/env bash
# Builds bench_database (Release), copies the largest real "database V2" and generates a
# synthetic "database V2" and "master.sqlite" in a temporary folder, times splitting, joining
# and reading them against plain reads, and removes the folder again.
#
#   bench/run_database.sh [BUILD_DIR]      (default: <repo>/build-bench)
#
# RECORDS, ASSETS and ROUNDS in the environment change the synthetic sizes and the round
# count; FIXTURES names the folder of real Serato files (default: <repo>/../shared/fixtures/serato).
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build-bench}"
records="${RECORDS:-100000}"
assets="${ASSETS:-100000}"
rounds="${ROUNDS:-7}"
fixtures="${FIXTURES:-$here/../shared/fixtures/serato}"
real="$fixtures/macos-library/_Serato_/database V2"
schema="$fixtures/schema/master-sqlite-schema-excerpt.sql"

if ! command -v sqlite3 >/dev/null; then
  echo "run_database.sh: the sqlite3 shell is missing (apt-get install sqlite3)" >&2
  exit 2
fi
if [ ! -f "$schema" ]; then
  echo "run_database.sh: no master.sqlite schema at $schema (set FIXTURES)" >&2
  exit 2
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORROWDECK_BENCH=ON \
  -DMORROWDECK_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_database >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/morrowdeck-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

bench="$build/bench/bench_database"
"$bench" generate "$work/synthetic" --records "$records" --assets "$assets" --schema "$schema"
echo

status=0
measure() {  # name, subcommand, file
  "$bench" "$2" "$3" --rounds "$rounds" | tee "$work/$1.txt" || status=$?
  echo
}
# The fixture is read-only; the copy keeps the measured file in the same folder tree.
if [ -f "$real" ]; then
  mkdir "$work/real"
  cp "$real" "$work/real/database V2"
  measure real database "$work/real/database V2"
else
  echo "no real database at $real: measuring the synthetic files only"
fi
measure synthetic database "$work/synthetic/database V2"
measure sqlite sqlite "$work/synthetic/master.sqlite"

echo "==== database benchmark: medians of $rounds warm rounds ===="
echo "commit   $(git -C "$here" rev-parse --short HEAD 2>/dev/null || echo unknown)"
echo "machine  $(nproc) cores, $(uname -sr), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
for part in "real:real database V2" "synthetic:synthetic database V2 ($records records)" \
  "sqlite:synthetic master.sqlite ($assets assets)"; do
  name="${part%%:*}"
  [ -f "$work/$name.txt" ] || continue
  echo "-- ${part#*:}"
  sed -n '/^---- summary/,$p' "$work/$name.txt" | tail -n +2
done
if [ "$status" -ne 0 ]; then
  echo "FAILED (exit $status): see the messages above"
fi
exit "$status"
