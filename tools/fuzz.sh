#!/usr/bin/env bash
# Runs one libFuzzer target for about SECONDS seconds in rounds of at most
# RUNS inputs, each round a fresh process that goes on from the corpus the
# earlier rounds left. Rounds keep memory bounded for a target whose every
# input leaves its record lists alive (they live until exit by design).
# Prints the total of inputs executed.
# usage: fuzz.sh TARGET SECONDS RUNS CORPUS... [-- libFuzzer options]
set -euo pipefail
target=$1 seconds=$2 runs=$3
shift 3
dirs=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do dirs+=("$1"); shift; done
[ $# -gt 0 ] && shift
log=$(mktemp)
trap 'rm -f "$log"' EXIT
total=0
end=$((SECONDS + seconds))
while [ $SECONDS -lt $end ]; do
  left=$((end - SECONDS))
  if ! "$target" -runs="$runs" -max_total_time="$left" -print_final_stats=1 \
    "$@" "${dirs[@]}" >"$log" 2>&1; then
    cat "$log"
    exit 1
  fi
  done_here=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  total=$((total + ${done_here:-0}))
done
tail -n 6 "$log"
echo "$(basename "$target"): $total inputs executed in ${seconds} s"
