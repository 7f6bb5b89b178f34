#!/usr/bin/env bash
# Runs every benchmark job at two sizes (the second ten times the first) and
# prints, one line per job, its wall time and peak memory beside those of
# `xmllint --format` of the same file, the floor for one parse and
# pretty-print, and the ratios.
#   bash bench/run.sh [SCALE]     SCALE 1 = full sizes (default), 10 = ten times fewer
set -euo pipefail
cd "$(dirname "$0")/.."
scale="${1:-1}"
bash scripts/setup
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKX_BUILD_BENCH=ON -DKX_BUILD_TESTS=OFF -DKX_BUILD_DESKTOP=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" >/dev/null
bin=build-bench/bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source bench/common.sh

for n in $((100000 / scale)) $((1000000 / scale)); do
  measure "tables: write register, $n rows" "$bin/tables_bench" gen-register "$n" "$work/reg$n"
  printf '%-48s %8s   %10.1f MB\n' "  (REG.db size)" "" "$(echo "$(stat -c %s "$work/reg$n/REG.db") / 1048576" | bc -l)"
  measure "tables: full scan, $n rows" "$bin/tables_bench" scan "$work/reg$n"
  measure "tables: filtered scan, $n rows" "$bin/tables_bench" filter "$work/reg$n"
done
for n in $((10000 / scale)) $((100000 / scale)); do
  "$bin/tables_bench" gen-documents "$n" "$work/docs$n" >/dev/null
  measure "tables: $n documents with two details walked" "$bin/tables_bench" walk "$work/docs$n"
done
for n in $((10000 / scale)) $((100000 / scale)); do
  job "JPK_V7M: $n sale records built and saved" "$work/v7m$n.xml" "$bin/jpk_bench" v7m "$n" "$work/v7m$n.xml"
done
for n in $((100000 / scale)) $((1000000 / scale)); do
  job "JPK_KR: $n postings built and saved" "$work/kr$n.xml" "$bin/jpk_bench" kr "$n" "$work/kr$n.xml"
done
for extra in "$bin"/editor_bench "$bin"/generate_bench; do
  [ -x "$extra" ] && [ -f "bench/$(basename "$extra").sh" ] && bash "bench/$(basename "$extra").sh" "$bin" "$work" "$scale"
done
# The exports run the command line program on a month of the demo data tool.
if [ -x build-bench/tools/gen_demo_data ] && [ -x build-bench/bin/kx2jpk-cli ]; then
  bash bench/export_bench.sh "$bin" "$work" "$scale"
  bash bench/jobs_bench.sh "$bin" "$work" "$scale"
fi
exit 0
