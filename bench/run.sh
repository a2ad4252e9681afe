#!/bin/sh
# Generates (once, into CACHE) the benchmark days and runs the benchmark on
# them: a small day against the literal separation, then the timed days.
#   bench/run.sh BUILD_DIR CACHE RUNS
set -eu
build=$1
cache=$2
runs=$3
mkdir -p "$cache"

# Prints the directory of the day of $1 taps, generating it if needed.
day() {
  dir="$cache/day-$1-seed1"
  if [ ! -f "$dir/.complete" ]; then
    rm -rf "$dir" && mkdir -p "$dir"
    echo "generating $1 taps into $dir" >&2
    "$build/fare-gen-day" "$1" 1 "$dir"
    touch "$dir/.complete"
  fi
  echo "$dir"
}

echo "load before: $(uptime)"
"$build/bench/fare-bench" literal "$(day 50000)"
for taps in 1000000 10000000; do
  "$build/bench/fare-bench" table "$(day $taps)" "$runs"
done
echo "load after: $(uptime)"
