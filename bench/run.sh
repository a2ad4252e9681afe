#!/bin/sh
# Generates (once, into CACHE) the benchmark days and runs the benchmark on
# them: small days against the literal separation, then the timed days, each
# beside a general SQL engine settling the same day.
#   bench/run.sh BUILD_DIR CACHE RUNS
# BENCH_SIZES lists the timed days' sizes in taps (default "1000000
# 10000000"; 100000000 adds a day of 2.45 GB, which needs as much again in
# memory and several minutes); the audit is timed only when 10000000 is among
# them, and so is fare-ledger. BENCH_SQL=off leaves the SQL engine out.
set -eu
build=$1
cache=$2
runs=$3
sizes=${BENCH_SIZES:-1000000 10000000}
# The layout the generator writes; bumped whenever its output changes, so a
# cached day is never one of an older generator.
days="$cache/days-2"
mkdir -p "$days"

# Prints the directory $days/$2, generating it first if needed with the
# generator $1: "$1 $3 1 DIR" and further arguments (the generator's options).
generated() {
  generator=$1
  dir="$days/$2"
  size=$3
  shift 3
  if [ ! -f "$dir/.complete" ]; then
    rm -rf "$dir" && mkdir -p "$dir"
    echo "generating $dir" >&2
    "$build/$generator" "$size" 1 "$dir" "$@"
    touch "$dir/.complete"
  fi
  echo "$dir"
}

# Prints the directory of the day of $1 taps (further arguments: generator
# options, $2 names them), generating it if needed.
day() {
  taps=$1
  name=${2:-}
  [ $# -ge 2 ] && shift 2 || shift 1
  generated fare-gen-day "day-$taps-seed1$name" "$taps" "$@"
}

# Prints the directory of a copy of the day of $1 taps with a bad line
# ("1,2,x", too few fields) after every 100th line of each payment file,
# making it if needed.
bad_day() {
  clean=$(day "$1")
  dir="$days/day-$1-seed1-bad-lines"
  if [ ! -f "$dir/.complete" ]; then
    rm -rf "$dir" && mkdir -p "$dir"
    echo "adding bad lines to $clean into $dir" >&2
    for file in "$clean"/paymentData_*.txt; do
      awk '{ print } NR % 100 == 0 { print "1,2,x" }' "$file" \
        > "$dir/$(basename "$file")"
    done
    touch "$dir/.complete"
  fi
  echo "$dir"
}

# The SQL engine that the timed days are also settled with: DuckDB through
# its Node client from the npm registry, installed into the build folder.
# Without node or npm, or when the install fails, the peer is skipped.
DUCKDB_NODE_API=${DUCKDB_NODE_API:-1.5.6-r.1}
peer_modules="$build/sql-peer/node_modules"
peer=""
if [ "${BENCH_SQL:-on}" = off ]; then
  echo "BENCH_SQL=off: the SQL engine is skipped"
elif ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  echo "node or npm is missing: the SQL engine is skipped"
elif [ -d "$peer_modules/@duckdb/node-api" ] || {
  mkdir -p "$build/sql-peer" &&
    (cd "$build/sql-peer" && npm install --no-audit --no-fund \
      --no-package-lock "@duckdb/node-api@$DUCKDB_NODE_API" >/dev/null)
}; then
  peer="$(command -v node) $(cd "$(dirname "$0")" && pwd)/sql-peer.cjs \
$(cd "$peer_modules" && pwd)"
else
  echo "the SQL engine could not be installed: it is skipped"
fi

echo "load before: $(uptime)"
# Small days against the literal separation, awkward ones included: ids
# reused by unrelated taps, equal times, many legs.
"$build/bench/fare-bench" literal "$(day 50000)"
"$build/bench/fare-bench" literal "$(day 20000 -reuse --reuse 500)"
"$build/bench/fare-bench" literal "$(day 20000 -equal --equal-times --legs 12)"
"$build/bench/fare-bench" literal "$(day 20000 -legs --legs 40 --reuse 3000)"
# The longest journey settled, with heavy ties in its times.
"$build/bench/fare-bench" legs "$runs"
# 200,000 bus triggers and as many metro taps whose texts collide under a
# fixed hash, against random texts, through the settlement and the audit.
"$build/bench/fare-bench" crafted \
  "$(generated fare-gen-crafted crafted-200000-seed1 200000)" \
  "$(generated fare-gen-crafted random-200000-seed1 200000 --random)" \
  "$runs" "$build/audit/fare-audit"
for taps in $sizes; do
  echo "load: $(uptime)"
  # $peer is split into its words on purpose.
  # shellcheck disable=SC2086
  "$build/bench/fare-bench" table "$(day "$taps")" "$runs" $peer
done
# The audit of the 10M day, and of that day with 100,000 bad lines, against
# the settlement's own time on the clean day (absolute paths: the
# settlement runs inside the day's directory).
case " $sizes " in
  *" 10000000 "*)
    abs_build=$(cd "$build" && pwd)
    sh "$(dirname "$0")/../audit/bench.sh" "$abs_build/fare-settlement" \
      "$abs_build/audit/fare-audit" "$(day 10000000)" 3 \
      "$(bad_day 10000000)"
    # fare-ledger's record of that settled day against its audit, and a
    # statement from a ledger of ten years.
    sh "$(dirname "$0")/../ledger/bench.sh" "$abs_build" "$(day 10000000)" 3
    ;;
  *) echo "no day of 10000000 taps: the audit and the ledger are not timed" ;;
esac
# The Windows build under wine beside the native one on the 1M day, when
# make windows has built it (BENCH_WINDOWS names its folder).
if [ -n "${BENCH_WINDOWS:-}" ] && [ -x "$BENCH_WINDOWS/fare-settlement.exe" ]; then
  sh "$(dirname "$0")/windows.sh" "$build" "$BENCH_WINDOWS" "$(day 1000000)" "$runs"
else
  echo "no Windows build (make windows): wine is not timed"
fi
echo "load after: $(uptime)"
