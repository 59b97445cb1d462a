#!/usr/bin/env bash
# Builds bench_load_crates (Release), generates a synthetic library in a temporary folder,
# times SeratoLibrary::loadCrates against cat on it and removes the folder again.
#
#   bench/run_load_crates.sh [BUILD_DIR]      (default: <repo>/build-bench)
#
# CRATES, REFS and ROUNDS in the environment change the library size and the round count.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build-bench}"
crates="${CRATES:-2000}"
refs="${REFS:-200000}"
rounds="${ROUNDS:-5}"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORROWDECK_BENCH=ON \
  -DMORROWDECK_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_load_crates >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/morrowdeck-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

bench="$build/bench/bench_load_crates"
"$bench" generate "$work" --crates "$crates" --refs "$refs"
echo
status=0
"$bench" measure "$work" --rounds "$rounds" | tee "$work/measure.txt" || status=$?

echo
echo "==== load_crates benchmark: medians of $rounds warm rounds ===="
echo "commit   $(git -C "$here" rev-parse --short HEAD 2>/dev/null || echo unknown)"
echo "machine  $(nproc) cores, $(uname -sr), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
sed -n '/^---- summary/,$p' "$work/measure.txt" | tail -n +2
if [ "$status" -ne 0 ]; then
  echo "FAILED (exit $status): see the messages above"
fi
exit "$status"
