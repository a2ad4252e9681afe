#!/bin/sh
# Packs the Windows download: the three programs, the README for Windows,
# LICENSE and the three manuals rendered as text (with their tables), all
# with Windows line ends, and the sample day as examples\ byte for byte (its
# payment lines end in a line feed alone, as the programs read them), in
# WINDOWS_BUILD_DIR/fare-settlement-VERSION-win64.zip.
#   tools/windows-package.sh WINDOWS_BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=fare-settlement-$version-win64
stage=$build/$name
rm -rf "$stage" "$stage.zip"
mkdir "$stage" "$stage/examples"
cp "$build/fare-settlement.exe" "$build/audit/fare-audit.exe" \
  "$build/ledger/fare-ledger.exe" "$stage/"
cp "$source"/examples/paymentData_*.txt "$stage/examples/"
crlf() { sed 's/$/\r/' "$1" >"$2"; }
crlf "$source/packaging/windows/README.txt" "$stage/README.txt"
crlf "$source/LICENSE" "$stage/LICENSE.txt"
for page in fare-settlement fare-audit fare-ledger; do
  # Plain text: tables laid out by tbl, no overstriking for bold or
  # underline.
  groff -t -man -Tascii -P-cbou "$source/man/$page.1" >"$stage/$page.txt.lf"
  crlf "$stage/$page.txt.lf" "$stage/$page.txt"
  rm "$stage/$page.txt.lf"
done
(cd "$build" && zip -q -X -r "$name.zip" "$name")
rm -rf "$stage"
echo "$build/$name.zip"
