#!/bin/sh
# Unpacks the Windows zip, checks its contents, and settles, audits and
# records the sample day with the unpacked programs under wine: the report
# and the three outputs must be the bytes the Linux build gives.
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
want="LICENSE.txt README.txt fare-audit.exe fare-audit.txt fare-ledger.exe"
want="$want fare-ledger.txt fare-settlement.exe fare-settlement.txt "
[ "$(cat contents)" = "$want" ] || { echo "zip holds: $(cat contents)"; exit 1; }
mkdir day
cp "$examples"/paymentData_*.txt day/
printf 1 >day/enable.txt
(cd day && "$wine" "$work/$package/fare-settlement.exe" >../report 2>../errors)
printf 'wait\nResult\nBus: 2648 won\nMetro: 5349 won\n' >want-report
cmp want-report report
[ ! -s errors ]
printf '200,1,1,0,T2\n150,0,1,1050,T2\n270,0,1,100 T2\nEND' >want-history
cmp want-history day/trans_history.txt
[ "$(cat day/Total_Bus_Data.txt)" = "300,1,2648" ]
[ "$(cat day/Total_Metro_Data.txt)" = "280,0,5349" ]
[ "$(cat day/enable.txt)" = 0 ]
(cd day && "$wine" "$work/$package/fare-audit.exe" . >../audit 2>../audit-errors)
[ ! -s audit-errors ]
grep -q "result: consistent" audit || { cat audit; exit 1; }
ledger() { "$wine" "$work/$package/fare-ledger.exe" --db ledger.db "$@"; }
ledger record 2026-12-01 day >record 2>&1
ledger record 2026-12-01 day >rerun 2>&1
grep -q "2026-12-01 already recorded as version 1" rerun || { cat rerun; exit 1; }
ledger statement 2026-12 >statement
grep -q "2026-12-01" statement || { cat statement; exit 1; }
ledger check >check
echo "$package.zip: contents, settlement and audit of the sample day checked, and the day recorded"
