#!/bin/sh
# Generates (once, into CACHE) the benchmark days and runs the benchmark on
# them: a small day against the literal separation, then the timed days.
#   bench/run.sh BUILD_DIR CACHE RUNS
set -eu
build=$1
cache=$2
runs=$3
mkdir -p "$cache"

# Prints the directory of the day of $1 taps (further arguments: generator
# options, $2 names them), generating it if needed.
day() {
  taps=$1
  name=${2:-}
  [ $# -ge 2 ] && shift 2 || shift 1
  dir="$cache/day-$taps-seed1$name"
  if [ ! -f "$dir/.complete" ]; then
    rm -rf "$dir" && mkdir -p "$dir"
    echo "generating $taps taps into $dir" >&2
    "$build/fare-gen-day" "$taps" 1 "$dir" "$@"
    touch "$dir/.complete"
  fi
  echo "$dir"
}

echo "load before: $(uptime)"
# Small days against the literal separation, awkward ones included: ids
# reused by unrelated taps, equal times, many legs.
"$build/bench/fare-bench" literal "$(day 50000)"
"$build/bench/fare-bench" literal "$(day 20000 -reuse --reuse 500)"
"$build/bench/fare-bench" literal "$(day 20000 -equal --equal-times --legs 12)"
"$build/bench/fare-bench" literal "$(day 20000 -legs --legs 40 --reuse 3000)"
# The longest journey settled, with heavy ties in its times.
"$build/bench/fare-bench" legs "$runs"
for taps in 1000000 10000000; do
  "$build/bench/fare-bench" table "$(day $taps)" "$runs"
done
# The audit of the 10M day against the settlement's own time on it.
# (absolute paths: the settlement runs inside the day's directory).
abs_build=$(cd "$build" && pwd)
sh "$(dirname "$0")/../audit/bench.sh" "$abs_build/fare-settlement" \
  "$abs_build/audit/fare-audit" "$(day 10000000)" 3
echo "load after: $(uptime)"
