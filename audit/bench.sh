#!/bin/sh
# Times fare-audit against fare-settlement on one day of payment files and
# checks that the audit takes at most 1.3 times the settlement's own time; with
# BAD_DAY_DIR, also that the audit of that day (bad lines in every payment
# file, rejects files written) takes at most three times the settlement's
# time on DAY_DIR.
#   audit/bench.sh SETTLEMENT_EXE AUDIT_EXE DAY_DIR [RUNS [BAD_DAY_DIR]]
# The settlement runs in DAY_DIR with the flag raised; its own time is its
# wall time less the one-second wait before its first poll of the flag.
# Each program runs RUNS times (default 3), alternately; medians compared.
# The days' files are read once first, so that every run finds them in the
# page cache.
set -eu
settle=$1
audit=$2
day=$3
runs=${4:-3}
bad_day=${5:-}

now() { date +%s.%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
median_of() { echo "$1" | tr ' ' '\n' | grep . | median; }

rejects=$(mktemp -d)
errors=$(mktemp)
trap 'rm -rf "$rejects" "$errors"' EXIT

# Runs "$@" and prints its wall time; fails, showing its standard error,
# unless it exits with status $1.
timed() {
  want=$1
  shift
  start=$(now)
  status=0
  "$@" > /dev/null 2> "$errors" || status=$?
  echo "$(now) $start" | awk '{ print $1 - $2 }'
  if [ "$status" -ne "$want" ]; then
    echo "$1 exited $status" >&2
    cat "$errors" >&2
    exit 2
  fi
}

cat "$day"/paymentData_*.txt > /dev/null
[ -z "$bad_day" ] || cat "$bad_day"/paymentData_*.txt > /dev/null

settle_times=""
audit_times=""
bad_times=""
i=0
while [ "$i" -lt "$runs" ]; do
  printf 1 > "$day/enable.txt"
  t=$(cd "$day" && timed 0 "$settle")
  settle_times="$settle_times $(echo "$t" | awk '{ print $1 - 1 }')"
  audit_times="$audit_times $(timed 0 "$audit" "$day")"
  [ -z "$bad_day" ] ||
    bad_times="$bad_times $(timed 2 "$audit" --rejects "$rejects" "$bad_day")"
  i=$((i + 1))
done
s=$(median_of "$settle_times")
a=$(median_of "$audit_times")
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "settlement (without its wait), median of $runs: $s s"
echo "audit, median of $runs: $a s"
over=0
echo "$a $s" | awk '{ r = $1 / $2; printf "audit / settlement: %.2f (limit 1.3)\n", r; exit(r > 1.3) }' || over=1
if [ -n "$bad_day" ]; then
  b=$(median_of "$bad_times")
  echo "audit of the day with bad lines, --rejects, median of $runs: $b s"
  echo "$b $s" | awk '{ r = $1 / $2; printf "bad-lines audit / settlement: %.2f (limit 3)\n", r; exit(r > 3) }' || over=1
fi
exit "$over"
