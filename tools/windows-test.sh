#!/bin/sh
# Runs the Windows programs under wine: the black-box tests of the native
# build (their harness stays native and starts each program through wine)
# with the ANSI code page 1252 and the Windows layer's own GoogleTest cases,
# then the cases with Korean names again with code page 949 (a Korean
# operator's PC) and a message on a console.
#   tools/windows-test.sh NATIVE_BUILD_DIR WINDOWS_BUILD_DIR [JOBS]
set -eu
native=$1
windows=$(cd "$2" && pwd)
jobs=${3:-8}
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver

# A prefix of its own in the build folder; no display, no wine messages.
export WINEPREFIX="$windows/wine-prefix" WINEDEBUG=-all
unset DISPLAY
mkdir -p "$WINEPREFIX"
# One wineserver for every test, started with streams of its own: one
# started by a test would hold ctest's output pipe until it exits. Wine
# takes the ANSI code page from the locale: 1252 for C.UTF-8, 949 for
# ko_KR.UTF-8.
start_wine() {
  "$server" -k 2>/dev/null || true
  "$server" -w 2>/dev/null || true
  LC_ALL=$1 "$server" -p60 </dev/null >/dev/null 2>&1
  LC_ALL=$1 "$wine" cmd /c exit </dev/null >/dev/null 2>&1 # creates the prefix
}
trap '"$server" -k 2>/dev/null || true' EXIT
start_wine C.UTF-8

# Left out, needing what Windows or wine lacks: another user, resource
# limits, FIFOs, devices, symbolic links, /proc, the Linux locks and marks
# that native test code takes or looks at, SIGTERM and SIGHUP (wine ends at
# once, running no handler), closed standard descriptors, a browser, and an
# argument longer than a Windows command line takes.
excluded='Unprivileged|Permission|Unreadable|FileSizeLimit|NotWritable'
excluded="$excluded|ReadOnly|Out_Of_Space|AddressSpace|Fifo|FIFO|Device"
excluded="$excluded|Symlink|Link|Lead|Signalled|ClosedStandard|Browser"
excluded="$excluded|Sticky|Holders|AuditDuringSettlement.S|CannotBeWritten"
excluded="$excluded|BoundedMemory|RemovedDirectory|FullDisk"
excluded="$excluded|StatementFilesReplaced"
run_black_box() {
  FARE_TEST_RUNNER=$wine \
    FARE_TEST_SETTLEMENT="$windows/fare-settlement.exe" \
    FARE_TEST_AUDIT="$windows/audit/fare-audit.exe" \
    FARE_TEST_LEDGER="$windows/ledger/fare-ledger.exe" \
    ctest --test-dir "$native" --output-on-failure -j "$jobs" "$@"
}
LC_ALL=C.UTF-8 run_black_box -L 'blackbox|comparison|faults' -E "$excluded"
ctest --test-dir "$windows" --output-on-failure -j 2
start_wine ko_KR.UTF-8
LC_ALL=ko_KR.UTF-8 run_black_box -R Korean
# On a console (wine makes one of a terminal, here script's) a message
# naming a Korean folder shows as typed with code page 949; the terminal is
# wide, so that the line is not wrapped.
missing="/tmp/정산 2026년 12월/없음"
shown=$(LC_ALL=ko_KR.UTF-8 script -qec "stty cols 500; \
  '$wine' '$windows/audit/fare-audit.exe' '$missing'" /dev/null </dev/null) ||
  true
case $shown in
  *"$missing: cannot enter directory"*) echo "console: Korean shown as typed" ;;
  *) echo "console shows: $shown" >&2; exit 1 ;;
esac
