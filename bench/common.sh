# Sourced by the benchmark scripts. Sets bin, work and scale: from the
# arguments BIN WORK SCALE when bench/run.sh calls a script, otherwise it
# builds build-bench (target $1) and takes SCALE from $2. Defines measure and job.
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

# One line per job: its wall time and peak memory, then those of the floor,
# `xmllint --format` of FLOOR_FILE (one parse and one indented write of the
# same data, run right after it), and the two ratios. An empty FLOOR_FILE
# gives the job's own figures only. What the job printed follows, indented.
job() {  # label, floor file, command...
  local label=$1 floor=$2; shift 2
  if ! /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/phases" 2>&1; then
    printf '%-50s FAILED\n' "$label"
    sed 's/^/    /' "$work/phases"
    return 0
  fi
  local secs kb fsecs fkb
  read -r secs kb <"$work/time"
  if [ -n "$floor" ]; then
    /usr/bin/time -f "%e %M" -o "$work/time" xmllint --format --output "$work/floor.xml" "$floor"
    read -r fsecs fkb <"$work/time"
    rm -f "$work/floor.xml"
    printf '%-50s %7.2f s %8.1f MB | floor %6.2f s %8.1f MB | time x%5.2f  memory x%5.2f\n' "$label" "$secs" \
      "$(echo "$kb / 1024" | bc -l)" "$fsecs" "$(echo "$fkb / 1024" | bc -l)" \
      "$(echo "$secs / ($fsecs + 0.005)" | bc -l)" "$(echo "$kb / $fkb" | bc -l)"
  else
    printf '%-50s %7.2f s %8.1f MB\n' "$label" "$secs" "$(echo "$kb / 1024" | bc -l)"
  fi
  sed 's/^/    /' "$work/phases"
}
