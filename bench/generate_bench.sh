#!/usr/bin/env bash
# JPK_V7M generation: a month's register of N rows with N/5 contractors from
# each source program, read into a new document and saved; beside
# `xmllint --format` of the same file, the floor for one parse and
# pretty-print. Wall time and peak memory of each job.
#   bash bench/generate_bench.sh                  builds build-bench, N = 100000
#   bash bench/generate_bench.sh BIN WORK SCALE   as called by bench/run.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench_setup generate_bench "$@"

for n in $((10000 / scale)) $((100000 / scale)); do
  "$bin/generate_bench" gen "$n" "$work/gen$n" >/dev/null
  for program in towix rejko folvo; do
    job "generate: $program, $n rows, $((n / 5)) contractors" "$work/gen$n-$program.xml" \
      "$bin/generate_bench" run "$program" "$work/gen$n" "$work/gen$n-$program.xml"
  done
  rm -rf "$work/gen$n"
done
