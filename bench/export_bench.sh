#!/usr/bin/env bash
# Exports of the warehouse month: a month of N documents with 10 rows each
# and N/25 contractors, written by tools/gen_demo_data, exported by
# kx2jpk-cli to JPK_FA, JPK_MAG, Wapro, Sage and Ramzes; beside
# `xmllint --format` of each XML file, the floor for one parse and
# pretty-print. Wall time and peak memory of each job, for N = 5000 and
# 50000 (divided by SCALE).
#   bash bench/export_bench.sh [SCALE]            builds build-bench, SCALE 1 = full sizes
#   bash bench/export_bench.sh BIN WORK SCALE     as called by bench/run.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench_setup gen_demo_data "$@"
build=$(dirname "$bin")
if [ $# -lt 2 ]; then
  cmake --build "$build" --target kx2jpk-cli -j2 >/dev/null
fi
gen="$build/tools/gen_demo_data"
cli="$build/bin/kx2jpk-cli"
rows=10

for n in $((5000 / scale)) $((50000 / scale)); do
  month="$work/export$n"
  "$gen" "$month" --month 2026-11 --rows "$n" --rows-per-document "$rows" --contractors $((n >= 25 ? n / 25 : 1)) \
    >/dev/null
  mkdir -p "$month/net"
  cat >"$month/kx2jpk.ini" <<EOF
[System]
NIP=7270120002
Nazwa=Hurtownia Spożywcza Żuraw Sp. z o.o.
Email=biuro@hurtownia-zuraw.pl
Wojewodztwo=łódzkie
Powiat=Łódź
Gmina=Łódź
Miasto=Łódź
Ulica=Piotrkowska
NrDomu=120
NrLokalu=4
KodPocztowy=90-006
Poczta=Łódź
USCode=1009
NazwaSystemu=kx2jpk
KXDataDir=$month/towix
NetFileDir=$month/net
EOF
  for format in fa mag wapro sage ramzes; do
    out="$work/export$n-$format.xml"
    [ "$format" = sage ] && out="$work/export$n-sage.txt"
    floor="$out"
    [ "$format" = sage ] && floor=""  # a text file: no XML floor
    before="rm -f $out" job "export: $format, $n documents, $((n * rows)) rows" "$floor" \
      "$cli" "/ini=$month/kx2jpk.ini" export --month 2026-11 --format "$format" -o "$out" --yes
    rm -f "$out"
  done
  rm -rf "$month"
done
