# Sourced by the benchmark scripts. Sets bin, work and scale: from the
# arguments BIN WORK SCALE when bench/run.sh calls a script, otherwise it
# builds build-bench (target $1) and takes SCALE from $2. Defines measure.
bench_setup() {  # target, args...
  local target=$1; shift
  if [ $# -ge 2 ]; then
    bin=$1; work=$2; scale=${3:-1}
  else
    cd "$(dirname "${BASH_SOURCE[0]}")/.."
    cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKX_BUILD_BENCH=ON -DKX_BUILD_TESTS=OFF \
      -DKX_BUILD_DESKTOP=OFF >/dev/null
    cmake --build build-bench --target "$target" -j2 >/dev/null
    bin=build-bench/bench; work=$(mktemp -d); scale=${1:-1}
    trap 'rm -rf "$work"' EXIT
  fi
}

# Wall time and peak memory of one command, then what it printed, indented.
measure() {  # label, command...
  local label=$1; shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/phases"
  read -r secs kb <"$work/time"
  printf '%-48s %8.2f s %10.1f MB\n' "$label" "$secs" "$(echo "$kb / 1024" | bc -l)"
  sed 's/^/    /' "$work/phases"
}
