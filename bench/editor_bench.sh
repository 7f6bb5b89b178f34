#!/usr/bin/env bash
# JPK_V7M editor: link two files of N sale records each (N/2 purchases each),
# then open, recalculate and declare the linked 2N-record file; beside
# `xmllint --format` of the same files, the floor for one parse and
# pretty-print. Wall time and peak memory of each job.
#   bash bench/editor_bench.sh                  builds build-bench, N = 100000
#   bash bench/editor_bench.sh BIN WORK SCALE   as called by bench/run.sh
set -euo pipefail
if [ $# -ge 2 ]; then
  bin=$1; work=$2; scale=${3:-1}
else
  cd "$(dirname "$0")/.."
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKX_BUILD_BENCH=ON -DKX_BUILD_TESTS=OFF \
    -DKX_BUILD_DESKTOP=OFF >/dev/null
  cmake --build build-bench --target editor_bench -j2 >/dev/null
  bin=build-bench/bench; work=$(mktemp -d); scale=${1:-1}
  trap 'rm -rf "$work"' EXIT
fi

measure() {  # label, command...
  local label=$1; shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/phases"
  read -r secs kb <"$work/time"
  printf '%-48s %8.2f s %10.1f MB\n' "$label" "$secs" "$(echo "$kb / 1024" | bc -l)"
  sed 's/^/    /' "$work/phases"
}

for n in $((10000 / scale)) $((100000 / scale)); do
  "$bin/editor_bench" gen "$n" "$work/a$n.xml"
  "$bin/editor_bench" gen "$n" "$work/b$n.xml"
  measure "editor: link $n + $n sale records" "$bin/editor_bench" link "$work/a$n.xml" "$work/b$n.xml" "$work/ab$n.xml"
  measure "  xmllint --format of the linked file" xmllint --format --output "$work/fmt.xml" "$work/ab$n.xml"
  measure "editor: recalc and declare $((2 * n)) sale records" "$bin/editor_bench" declare "$work/ab$n.xml" "$work/d$n.xml"
  measure "  xmllint --format of the declared file" xmllint --format --output "$work/fmt.xml" "$work/d$n.xml"
done
