#!/usr/bin/env bash
# The command-line jobs on a generated month of the demo firm: JPK_V7M from
# each source program, the prefix repair of that file, its conversions (to
# Ramzes and Buchalter), the JPK_FA export and its conversion to JPK_V7M, and
# JPK_KR from the ledger; each beside the floor, `xmllint --format` of the
# file it writes (for a conversion, of the file it reads). N rows per program
# (100000 at full size) and, for JPK_KR, about 1M postings (350000 entries).
#   bash bench/jobs_bench.sh [SCALE]            builds build-bench, SCALE 1 = full sizes
#   bash bench/jobs_bench.sh BIN WORK SCALE     as called by bench/run.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench_setup gen_demo_data "$@"
build=$(dirname "$bin")
if [ $# -lt 2 ]; then
  cmake --build "$build" --target kx2jpk-cli -j2 >/dev/null
fi
gen="$(cd "$build/tools" && pwd)/gen_demo_data"
cli="$(cd "$build/bin" && pwd)/kx2jpk-cli"
demo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../data/demo" && pwd)"

month_for() {  # folder, rows: a month of the demo firm with its configuration
  local dir=$1 rows=$2
  # Contractor numbers stay within the ledger's 16-bit account numbers.
  local contractors=$((rows >= 5 ? rows / 5 : 1))
  [ "$contractors" -gt 20000 ] && contractors=20000
  "$gen" "$dir" --month 2026-11 --rows "$rows" --contractors "$contractors" >/dev/null
  mkdir -p "$dir/net" "$dir/out"
  cp "$demo/kx2jpk.ini" "$demo/CutDict.txt" "$demo/RejkoAccSet.txt" "$dir/"
  sed -i 's#^SaveDir=.*#SaveDir=out#' "$dir/kx2jpk.ini"
}

for n in $((10000 / scale)) $((100000 / scale)); do
  dir="$work/jobs$n"
  month_for "$dir" "$n"
  cd "$dir"
  for source in towix rejko folvo; do
    before="rm -f out/v7m-$source.xml" job "v7m generate: $source, $n rows" "out/v7m-$source.xml" \
      "$cli" /ini=kx2jpk.ini v7m generate --month 2026-11 --source "$source" --yes --ksef-empty bfk \
      -o "out/v7m-$source.xml"
  done
  # The same file with its namespace under a prefix, as some programs write it.
  sed -E -e 's#xmlns="([^"]*)"#xmlns:tns="\1"#' -e 's#<(/?)([A-Za-z_][A-Za-z0-9_]*)([ >/])#<\1tns:\2\3#g' \
    out/v7m-towix.xml >prefixed.xml
  # The repair rewrites its file: each run gets the prefixed one again.
  before="cp prefixed.xml out/prefixed.xml" job "repair: prefixes of a $n-row JPK_V7M" "out/prefixed.xml" \
    "$cli" /ini=kx2jpk.ini repair out/prefixed.xml --yes
  before="rm -rf conv && mkdir conv" job "convert: JPK_V7M ($n rows) to Ramzes" "out/v7m-towix.xml" \
    "$cli" /ini=kx2jpk.ini convert out/v7m-towix.xml --to ramzes -o conv
  before="rm -rf conv && mkdir conv" job "convert: JPK_V7M ($n rows) to Buchalter" "out/v7m-towix.xml" \
    "$cli" /ini=kx2jpk.ini convert out/v7m-towix.xml --to buchalter -o conv
  before="rm -f out/fa.xml" job "export: JPK_FA, $n documents" "out/fa.xml" \
    "$cli" /ini=kx2jpk.ini export --month 2026-11 --format fa -o out/fa.xml --yes
  before="rm -rf conv && mkdir conv" job "convert: JPK_FA ($n documents) to JPK_V7M" "out/fa.xml" \
    "$cli" /ini=kx2jpk.ini convert out/fa.xml --to v7m --ksef-empty bfk -o conv
  cd "$work"
  rm -rf "$dir"
done

# JPK_KR: the ledger month holds entries of about three postings each.
for entries in $((35000 / scale)) $((350000 / scale)); do
  dir="$work/kr$entries"
  month_for "$dir" "$entries"
  cd "$dir"
  before="rm -f out/kr.xml" job "kr generate: $entries entries" "out/kr.xml" \
    "$cli" /ini=kx2jpk.ini kr generate --month 2026-11 -o out/kr.xml
  printf '    %s postings\n' "$(grep -o '<LiczbaWierszyKontoZapisj>[0-9]*' out/kr.xml | grep -o '[0-9]*$')"
  cd "$work"
  rm -rf "$dir"
done
