#!/bin/sh
# Installs the Debian package, checks that it ships the sample day, settles
# the installed sample day with the installed fare-settlement in a scratch
# folder, audits it with the installed
# fare-audit, records it twice in a ledger with the installed fare-ledger
# and prints the month's statement, renders the three man pages, then
# removes the package and checks that none of its files is left. Run as
# root:
#   tools/check-package.sh PACKAGE.deb EXAMPLES_DIR
set -eu
deb=$1
examples=$(cd "$2" && pwd)
name=fare-settlement
scratch=$(mktemp -d "${TMPDIR:-/tmp}/fare-package.XXXXXX")
installed=no

fail() {
  echo "check-package: $*" >&2
  exit 1
}
cleanup() {
  [ "$installed" = yes ] && dpkg -r "$name" >/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

if dpkg-query -W -f='${db:Status-Status}' "$name" 2>/dev/null |
  grep -qx installed; then
  fail "$name is installed already; remove it first"
fi
dpkg -i "$deb"
installed=yes
version=$(dpkg-query -W -f='${Version}' "$name")
dpkg -L "$name" > "$scratch/files"

# The sample day the package ships, settled with the flag already raised.
shipped=/usr/share/doc/$name/examples
mkdir "$scratch/day"
for file in 5001 7001 7002 7003 7004 7005; do
  cmp "$examples/paymentData_$file.txt" "$shipped/paymentData_$file.txt" ||
    fail "$shipped/paymentData_$file.txt is not the sample day's"
  cp "$shipped/paymentData_$file.txt" "$scratch/day/"
done
printf 1 > "$scratch/day/enable.txt"
(cd "$scratch/day" && /usr/bin/fare-settlement > ../settle.out)
printf 'wait\nResult\nBus: 2648 won\nMetro: 5349 won\n' > "$scratch/expected"
cmp "$scratch/settle.out" "$scratch/expected" || fail "settlement report differs"
[ "$(cat "$scratch/day/enable.txt")" = 0 ] || fail "flag not lowered"
[ "$(cat "$scratch/day/Total_Bus_Data.txt")" = 300,1,2648 ] ||
  fail "wrong Total_Bus_Data.txt"
[ "$(cat "$scratch/day/Total_Metro_Data.txt")" = 280,0,5349 ] ||
  fail "wrong Total_Metro_Data.txt"

# The audit of it, by the installed fare-audit of the package's version.
[ "$(/usr/bin/fare-audit --version)" = "fare-audit $version" ] ||
  fail "fare-audit --version is not the package's $version"
(cd "$scratch" && /usr/bin/fare-audit --json report.json day > report.txt) ||
  fail "fare-audit exited $?"
for line in "by fare-audit $version" "  result: consistent" \
  "  residue                               +547 won" \
  "  bus (last tag 300)                   2,648 won" \
  "  metro (last tag 280)                 5,349 won"; do
  grep -qxF "$line" "$scratch/report.txt" || fail "report lacks: $line"
done
grep -qF "\"version\": \"$version\"," "$scratch/report.json" ||
  fail "JSON lacks the version"

# The day recorded in a new ledger, recorded again (nothing written), and
# the month's statement with it.
ledger_version=$(/usr/bin/fare-ledger --version)
case $ledger_version in
  "fare-ledger $version (SQLite 3."*")") ;;
  *) fail "fare-ledger --version: $ledger_version" ;;
esac
ledger() { (cd "$scratch" && /usr/bin/fare-ledger --db ledger.db "$@"); }
[ "$(ledger record 2026-12-09 day)" = "2026-12-09 recorded as version 1" ] ||
  fail "fare-ledger record did not record the day"
[ "$(ledger record 2026-12-09 day)" = \
  "2026-12-09 already recorded as version 1" ] ||
  fail "fare-ledger record of the same day again wrote it again"
ledger statement 2026-12 > "$scratch/statement.txt" ||
  fail "fare-ledger statement exited $?"
for line in "open: the figures may still change" \
  "  to pay                               2,648 won           5,349 won"; do
  grep -qxF "$line" "$scratch/statement.txt" || fail "statement lacks: $line"
done
ledger check > /dev/null || fail "fare-ledger check found a fault"

# The man pages found by man and rendered without a warning.
for page in fare-settlement fare-audit fare-ledger; do
  path=$(man -w "$page")
  [ "$path" = "/usr/share/man/man1/$page.1.gz" ] || fail "man -w $page: $path"
  man --warnings -l "$path" > "$scratch/$page.txt" 2> "$scratch/$page.err"
  [ ! -s "$scratch/$page.err" ] || fail "man $page: $(cat "$scratch/$page.err")"
  grep -q "$version" "$scratch/$page.txt" || fail "man $page lacks $version"
done
grep -q "Arguments  *are  *ignored" "$scratch/fare-settlement.txt" ||
  fail "man fare-settlement does not say that arguments are ignored"

# Removal leaves none of the package's files or folders of its own.
dpkg -r "$name"
installed=no
if dpkg-query -W -f='${db:Status-Status}' "$name" 2>/dev/null |
  grep -qvx not-installed; then
  fail "$name still known to dpkg after removal"
fi
while read -r path; do
  case $path in
    /usr/bin/* | /usr/share/man/man1/* | /usr/share/doc/"$name" | /usr/share/doc/"$name"/*)
      [ ! -e "$path" ] || fail "left behind: $path" ;;
  esac
done < "$scratch/files"
echo "check-package: $name $version installed, settled, audited and" \
  "recorded the sample day, man pages rendered, removed cleanly"
