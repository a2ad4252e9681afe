#!/bin/sh
# Settles the sample day of SAMPLE_DIR in a scratch copy with the flag
# already raised, shows the report, both summary files and the transfer
# history, then audits the settled day:
#   tools/demo.sh SETTLEMENT_EXE AUDIT_EXE SAMPLE_DIR
set -eu
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
settle=$(absolute "$1")
audit=$(absolute "$2")
sample=$3
scratch=$(mktemp -d "${TMPDIR:-/tmp}/fare-demo.XXXXXX")
cp "$sample"/paymentData_*.txt "$scratch"/
printf 1 > "$scratch/enable.txt"
cd "$scratch"
echo "Settling the sample day in $scratch"
echo "--- standard output"
"$settle"
for file in Total_Bus_Data.txt Total_Metro_Data.txt trans_history.txt enable.txt; do
  echo "--- $file"
  cat "$file"
  echo
done
echo "--- fare-audit $scratch"
"$audit"
