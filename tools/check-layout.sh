#!/bin/sh
# Cheap checks that keep the tree easy to walk into; .ci/run runs them:
# README.md stays a short read (at most 200 lines).
set -eu
cd "$(dirname "$0")/.."
lines=$(wc -l < README.md)
if [ "$lines" -gt 200 ]; then
  echo "check-layout: README.md has $lines lines, more than 200" >&2
  exit 1
fi
echo "check-layout: README.md $lines lines"
