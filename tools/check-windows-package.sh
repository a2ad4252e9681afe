#!/bin/sh
# Unpacks the Windows zip and checks its contents: the sample day equal to
# EXAMPLES_DIR byte for byte, the manuals without table markup, version
# information in each program. Then, under wine, raises the flag of the
# zip's own sample day with cmd as its README says, and settles, audits and
# records that day with the unpacked programs: the report and the three
# outputs must be the bytes the Linux build gives.
#   tools/check-windows-package.sh ZIP EXAMPLES_DIR
set -eu
zip=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
examples=$(cd "$2" && pwd)
wine=/usr/lib/wine/wine64
export WINEPREFIX="$(dirname "$zip")/wine-prefix" WINEDEBUG=-all
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
unzip -q "$zip"
package=$(basename "$zip" .zip)
ls "$package" | sort | tr '\n' ' ' >contents
echo >>contents
want="LICENSE.txt README.txt examples fare-audit.exe fare-audit.txt"
want="$want fare-ledger.exe fare-ledger.txt fare-settlement.exe fare-settlement.txt "
[ "$(cat contents)" = "$want" ] || { echo "zip holds: $(cat contents)"; exit 1; }
day=$package/examples
diff -r "$examples" "$day" || { echo "$day differs from $examples"; exit 1; }
for page in fare-settlement fare-audit fare-ledger; do
  if grep -En '^\.(TS|TE)|T[{}]' "$package/$page.txt"; then
    echo "$page.txt: table markup left"
    exit 1
  fi
done
version=${package#fare-settlement-}
version=${version%-win64}
for program in fare-settlement fare-audit fare-ledger; do
  # The version resource's strings are UTF-16, each value after its name.
  strings -a -el "$package/$program.exe" >strings
  for pair in "ProductName fare-settlement" "ProductVersion $version" \
    "FileVersion $version" "FileDescription $program: "; do
    grep -A1 -x "${pair%% *}" strings | tail -n 1 | grep -q "^${pair#* }" || {
      echo "$program.exe: no ${pair%% *} '${pair#* }' in its version resource"
      exit 1
    }
  done
done
# The README's flag, from cmd; a flag the run cannot read would make it
# wait its 180 s first.
(cd "$day" && "$wine" cmd /c "echo 1 > enable.txt")
(cd "$day" && timeout 150 "$wine" "$work/$package/fare-settlement.exe" \
  >"$work/report" 2>"$work/errors") || {
  status=$?
  echo "fare-settlement.exe: exit status $status (124: still waiting after 150 s)"
  exit 1
}
printf 'wait\nResult\nBus: 2648 won\nMetro: 5349 won\n' >want-report
cmp want-report report
[ ! -s errors ]
printf '200,1,1,0,T2\n150,0,1,1050,T2\n270,0,1,100 T2\nEND' >want-history
cmp want-history "$day/trans_history.txt"
[ "$(cat "$day/Total_Bus_Data.txt")" = "300,1,2648" ]
[ "$(cat "$day/Total_Metro_Data.txt")" = "280,0,5349" ]
[ "$(cat "$day/enable.txt")" = 0 ]
(cd "$day" && "$wine" "$work/$package/fare-audit.exe" . \
  >"$work/audit" 2>"$work/audit-errors")
[ ! -s audit-errors ]
grep -q "result: consistent" audit || { cat audit; exit 1; }
ledger() { "$wine" "$work/$package/fare-ledger.exe" --db ledger.db "$@"; }
ledger record 2026-12-01 "$day" >record 2>&1
ledger record 2026-12-01 "$day" >rerun 2>&1
grep -q "2026-12-01 already recorded as version 1" rerun || { cat rerun; exit 1; }
ledger statement 2026-12 >statement
grep -q "2026-12-01" statement || { cat statement; exit 1; }
ledger check >check
echo "$package.zip: contents, sample day, manuals and version information checked;" \
  "its sample day settled, audited and recorded"
