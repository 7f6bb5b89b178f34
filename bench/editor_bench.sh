#!/usr/bin/env bash
# JPK_V7M editor: link two files of N sale records each (N/2 purchases each),
# then open, recalculate and declare the linked 2N-record file; beside
# `xmllint --format` of the same files, the floor for one parse and
# pretty-print. Wall time and peak memory of each job.
#   bash bench/editor_bench.sh                  builds build-bench, N = 100000
#   bash bench/editor_bench.sh BIN WORK SCALE   as called by bench/run.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench_setup editor_bench "$@"

for n in $((10000 / scale)) $((100000 / scale)); do
  "$bin/editor_bench" gen "$n" "$work/a$n.xml"
  "$bin/editor_bench" gen "$n" "$work/b$n.xml"
  job "editor: link $n + $n sale records" "$work/ab$n.xml" \
    "$bin/editor_bench" link "$work/a$n.xml" "$work/b$n.xml" "$work/ab$n.xml"
  job "editor: recalc and declare $((2 * n)) sale records" "$work/d$n.xml" \
    "$bin/editor_bench" declare "$work/ab$n.xml" "$work/d$n.xml"
done
# The record grid's row access on the 2N-record file (phases, no floor: the
# grid reads nodes of a document already loaded).
echo "editor: record grid row access, $((2 * 100000 / scale)) sale records"
"$bin/editor_bench" grid "$work/ab$((100000 / scale)).xml"
