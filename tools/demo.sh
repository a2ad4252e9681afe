#!/bin/sh
# Settles the sample day of DIR in a scratch copy with the flag already
# raised, then shows the report, both summary files and the transfer history.
set -eu
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
sample=$2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/fare-demo.XXXXXX")
cp "$sample"/paymentData_*.txt "$scratch"/
printf 1 > "$scratch/enable.txt"
cd "$scratch"
echo "Settling the sample day in $scratch"
echo "--- standard output"
"$exe"
for file in Total_Bus_Data.txt Total_Metro_Data.txt trans_history.txt enable.txt; do
  echo "--- $file"
  cat "$file"
  echo
done
