#!/usr/bin/env bash
# JPK_V7M generation: a month's register of N rows with N/5 contractors from
# each source program, read into a new document and saved; beside
# `xmllint --format` of the same file, the floor for one parse and
# pretty-print. Wall time and peak memory of each job.
#   bash bench/generate_bench.sh                  builds build-bench, N = 100000
#   bash bench/generate_bench.sh BIN WORK SCALE   as called by bench/run.sh
set -euo pipefail
if [ $# -ge 2 ]; then
  bin=$1; work=$2; scale=${3:-1}
else
  cd "$(dirname "$0")/.."
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKX_BUILD_BENCH=ON -DKX_BUILD_TESTS=OFF \
    -DKX_BUILD_DESKTOP=OFF >/dev/null
  cmake --build build-bench --target generate_bench -j2 >/dev/null
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
  "$bin/generate_bench" gen "$n" "$work/gen$n" >/dev/null
  for program in towix rejko folvo; do
    measure "generate: $program, $n rows, $((n / 5)) contractors" \
      "$bin/generate_bench" run "$program" "$work/gen$n" "$work/gen$n-$program.xml"
    measure "  xmllint --format of the same file" xmllint --format --output "$work/fmt.xml" "$work/gen$n-$program.xml"
  done
  rm -rf "$work/gen$n"
done
