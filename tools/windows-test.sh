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

# Left out, needing what Windows or wine lacks: runs as another user,
# resource limits, FIFOs, sockets and devices, symbolic links, /proc,
# SIGTERM and SIGHUP (wine ends at once, running no handler), SIGKILL
# timing against a process that is not the program itself.
excluded='Unprivileged|Permission|Unreadable|Unwritable|FileSizeLimit'
excluded="$excluded|Out_Of_Space|AddressSpace|Memory|Fifo|FIFO|Socket|Device"
excluded="$excluded|Symlink|Link|Lead|Signalled|Killed|ClosedStandard"
excluded="$excluded|Browser|Sticky"
FARE_TEST_RUNNER=$wine \
  FARE_TEST_SETTLEMENT="$windows/fare-settlement.exe" \
  FARE_TEST_AUDIT="$windows/audit/fare-audit.exe" \
  ctest --test-dir "$native" -L 'blackbox|comparison' -E "$excluded" \
  --output-on-failure -j "$jobs"
ctest --test-dir "$windows" --output-on-failure -j 2
