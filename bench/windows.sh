#!/bin/sh
# Times the Windows programs under wine beside the native ones on one day:
# the settlement and the audit, RUNS times each, the median wall-clock
# seconds of each. No target: wine's own start and translation are part of
# the figure.
#   bench/windows.sh NATIVE_BUILD_DIR WINDOWS_BUILD_DIR DAY RUNS
set -eu
native=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
day=$3
runs=$4
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
export WINEPREFIX="$windows/wine-prefix" WINEDEBUG=-all
unset DISPLAY
# The server will not start without the prefix's folder.
mkdir -p "$WINEPREFIX"
"$server" -k 2>/dev/null || true
"$server" -w 2>/dev/null || true
"$server" -p60 </dev/null >/dev/null 2>&1
trap '"$server" -k 2>/dev/null || true; rm -rf "$work"' EXIT
"$wine" cmd /c exit </dev/null >/dev/null 2>&1 # creates the prefix
work=$(mktemp -d)
cp "$day"/paymentData_*.txt "$work/"

# Prints the median of the seconds on standard input, one per line.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Prints the wall-clock seconds of one run of the command in $work.
seconds() {
  start=$(date +%s%N)
  (cd "$work" && "$@" >/dev/null 2>&1) ||
    { echo "bench/windows.sh: $* failed" >&2; exit 1; }
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000000 ))" | awk '{ printf "%.3f\n", $1 / 1000 }'
}

# Prints the median of RUNS settlements (flag raised before each) by $@.
settle() {
  i=0
  while [ $i -lt "$runs" ]; do
    printf 1 >"$work/enable.txt"
    seconds "$@"
    i=$((i + 1))
  done | median
}

# Prints the median of RUNS audits of the settled day by $@.
audit() {
  i=0
  while [ $i -lt "$runs" ]; do seconds "$@" .; i=$((i + 1)); done | median
}

echo "windows build under wine, $(basename "$day"), median of $runs runs" \
  "(a settlement includes its one-second wait for the flag):"
echo "  settlement  native $(settle "$native/fare-settlement") s" \
  " wine $(settle "$wine" "$windows/fare-settlement.exe") s"
echo "  audit       native $(audit "$native/audit/fare-audit") s" \
  " wine $(audit "$wine" "$windows/audit/fare-audit.exe") s"
