#!/bin/sh
# Packs the Windows download: the three programs, README, LICENSE and the
# three manuals rendered as text, with Windows line ends, in
# WINDOWS_BUILD_DIR/fare-settlement-VERSION-win64.zip.
#   tools/windows-package.sh WINDOWS_BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=fare-settlement-$version-win64
stage=$build/$name
rm -rf "$stage" "$stage.zip"
mkdir "$stage"
cp "$build/fare-settlement.exe" "$build/audit/fare-audit.exe" \
  "$build/ledger/fare-ledger.exe" "$stage/"
crlf() { sed 's/$/\r/' "$1" >"$2"; }
crlf "$source/README.md" "$stage/README.txt"
crlf "$source/LICENSE" "$stage/LICENSE.txt"
for page in fare-settlement fare-audit fare-ledger; do
  # Plain text: no overstriking for bold or underline.
  groff -man -Tascii -P-cbou "$source/man/$page.1" >"$stage/$page.txt.lf"
  crlf "$stage/$page.txt.lf" "$stage/$page.txt"
  rm "$stage/$page.txt.lf"
done
(cd "$build" && zip -q -X -r "$name.zip" "$name")
rm -rf "$stage"
echo "$build/$name.zip"
