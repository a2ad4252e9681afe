#!/bin/sh
# Times fare-audit against fare-settlement on one day of payment files and
# checks that the audit takes at most twice the settlement's own time.
#   audit/bench.sh SETTLEMENT_EXE AUDIT_EXE DAY_DIR [RUNS]
# The settlement runs in DAY_DIR with the flag raised; its own time is its
# wall time less the one-second wait before its first poll of the flag.
# Each program runs RUNS times (default 3), alternately; medians compared.
set -eu
settle=$1
audit=$2
day=$3
runs=${4:-3}

now() { date +%s.%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

settle_times=""
audit_times=""
i=0
while [ "$i" -lt "$runs" ]; do
  printf 1 > "$day/enable.txt"
  start=$(now)
  (cd "$day" && "$settle" > /dev/null)
  settle_times="$settle_times $(echo "$(now) $start" | awk '{ print $1 - $2 - 1 }')"
  start=$(now)
  status=0
  "$audit" "$day" > /dev/null || status=$?
  audit_times="$audit_times $(echo "$(now) $start" | awk '{ print $1 - $2 }')"
  if [ "$status" -ne 0 ]; then
    echo "fare-audit exited $status" >&2
    exit 2
  fi
  i=$((i + 1))
done
s=$(echo "$settle_times" | tr ' ' '\n' | grep . | median)
a=$(echo "$audit_times" | tr ' ' '\n' | grep . | median)
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "settlement (without its wait), median of $runs: $s s"
echo "audit, median of $runs: $a s"
echo "$a $s" | awk '{ r = $1 / $2; printf "audit / settlement: %.2f (limit 2)\n", r; exit(r > 2) }'
