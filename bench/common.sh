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

# Runs the command once under /usr/bin/time: sets run_secs (wall time, to the
# millisecond) and run_kb (peak memory). Its output goes to $work/phases.
timed() {  # command...
  local start end status=0
  start=$EPOCHREALTIME
  /usr/bin/time -f "%M" -o "$work/time" "$@" >"$work/phases" 2>&1 || status=$?
  end=$EPOCHREALTIME
  run_secs=$(echo "$end - $start" | bc -l)
  read -r run_kb <"$work/time"
  return $status
}

# The median of the numbers given.
median() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# One line per job: its wall time and peak memory, then those of the floor,
# `xmllint --format` of FLOOR_FILE (one parse and one indented write of the
# same data, run right after it), and the two ratios. A job of under 10 s and
# its floor run three times, in turn, and the medians are shown (this
# machine's times of one run vary by a tenth and more); peak memory is the
# largest of the runs. An empty FLOOR_FILE gives the job's own figures only.
# A command in the variable `before` (before=... job ...) runs, untimed,
# before each run: a job that changes its input or finds its output there
# does the same work every time. What the job printed follows, indented.
job() {  # label, floor file, command...
  local label=$1 floor=$2; shift 2
  local times=() ftimes=() kb=0 fkb=0 rounds=1 i
  for ((i = 0; i < rounds; i++)); do
    if [ -n "${before:-}" ]; then eval "$before"; fi
    if ! timed "$@"; then
      printf '%-50s FAILED\n' "$label"
      sed 's/^/    /' "$work/phases"
      return 0
    fi
    times+=("$run_secs")
    [ "$run_kb" -gt "$kb" ] && kb=$run_kb
    cp "$work/phases" "$work/phases.job"
    if [ -n "$floor" ]; then
      timed xmllint --format --output "$work/floor.xml" "$floor"
      ftimes+=("$run_secs")
      [ "$run_kb" -gt "$fkb" ] && fkb=$run_kb
      rm -f "$work/floor.xml"
    fi
    if [ "$i" -eq 0 ] && [ "$(echo "${times[0]} < 10" | bc -l)" -eq 1 ]; then rounds=3; fi
  done
  local secs fsecs
  secs=$(median "${times[@]}")
  if [ -n "$floor" ]; then
    fsecs=$(median "${ftimes[@]}")
    printf '%-50s %7.2f s %8.1f MB | floor %6.2f s %8.1f MB | time x%5.2f  memory x%5.2f\n' "$label" "$secs" \
      "$(echo "$kb / 1024" | bc -l)" "$fsecs" "$(echo "$fkb / 1024" | bc -l)" \
      "$(echo "$secs / $fsecs" | bc -l)" "$(echo "$kb / $fkb" | bc -l)"
  else
    printf '%-50s %7.2f s %8.1f MB\n' "$label" "$secs" "$(echo "$kb / 1024" | bc -l)"
  fi
  sed 's/^/    /' "$work/phases.job"
}
