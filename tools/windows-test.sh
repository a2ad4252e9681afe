#!/bin/sh
# Runs the Windows programs under wine: the black-box tests of the native
# build (their harness stays native and starts each program through wine),
# then the Windows layer's own GoogleTest cases.
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
# started by a test would hold ctest's output pipe until it exits.
"$server" -k 2>/dev/null || true
"$server" -w 2>/dev/null || true
"$server" -p60 </dev/null >/dev/null 2>&1
trap '"$server" -k 2>/dev/null || true' EXIT
"$wine" cmd /c exit </dev/null >/dev/null 2>&1 # creates the prefix

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
FARE_TEST_RUNNER=$wine \
  FARE_TEST_SETTLEMENT="$windows/fare-settlement.exe" \
  FARE_TEST_AUDIT="$windows/audit/fare-audit.exe" \
  FARE_TEST_LEDGER="$windows/ledger/fare-ledger.exe" \
  ctest --test-dir "$native" -L 'blackbox|comparison|faults' -E "$excluded" \
  --output-on-failure -j "$jobs"
ctest --test-dir "$windows" --output-on-failure -j 2
