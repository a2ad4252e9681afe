#!/bin/sh
# Cheap checks that keep the tree easy to walk into; .ci/run runs them:
# - README.md stays a short read (at most 200 lines);
# - in each of src/, audit/ and ledger/ the modules (X.h with X.cpp, and
#   X_Posix.cpp and X_Windows.cpp for a module that differs by system)
#   include one another without a circle;
# - the audit's renderers stay leaves: no file in audit/ includes a
#   renderer's header but that renderer's own and main.cpp, on top;
# - the programs reach the operating system only through the platform
#   layer: no file of src/, audit/ or ledger/ but Os_*.cpp and *_Posix.cpp
#   or *_Windows.cpp includes a POSIX or Windows header, and none but
#   Os_*.cpp reaches the file system itself (std::filesystem, fopen,
#   std::rename, std::remove, chdir);
# - the platform layer stands on its own: Os.h and Os_*.cpp do not include
#   Settlement_Error.h, the error type of two of the programs.
set -eu
cd "$(dirname "$0")/.."
RENDERERS="Audit_Report Audit_Json Audit_Html Audit_Csv"
failed=0
fail() {
  echo "check-layout: $*" >&2
  failed=1
}

lines=$(wc -l < README.md)
[ "$lines" -le 200 ] || fail "README.md has $lines lines, more than 200"

# One line "MODULE INCLUDED" for each include of a header of folder $1 by
# another module of that folder; X_Posix.cpp and X_Windows.cpp are module X.
module_edges() {
  for file in "$1"/*.h "$1"/*.cpp; do
    module=$(basename "${file%.*}")
    module=${module%_Posix}
    module=${module%_Windows}
    sed -n 's/^#include "\([^"]*\)\.h".*/\1/p' "$file" | while read -r header; do
      if [ -f "$1/$header.h" ] && [ "$header" != "$module" ]; then
        echo "$module $header"
      fi
    done
  done | sort -u
}
for dir in src audit ledger; do
  dir_edges=$(module_edges "$dir")
  echo "$dir_edges" | tsort > /dev/null 2>&1 ||
    fail "the modules of $dir/ include one another in a circle: $(echo "$dir_edges" | tsort 2>&1 >/dev/null | tr '\n' ' ')"
done
edges=$(module_edges audit)
for renderer in $RENDERERS; do
  for module in $(echo "$edges" | awk -v r="$renderer" '$2 == r { print $1 }'); do
    [ "$module" = main ] || fail "audit/$module includes $renderer.h, a renderer's header"
  done
done

SYSTEM_HEADERS='^#include <(sys/|unistd|fcntl|signal\.h|csignal|dirent|pthread|malloc|poll|grp|pwd|windows|io\.h|bcrypt|openssl/)'
for file in src/* audit/*.h audit/*.cpp ledger/*.h ledger/*.cpp; do
  case $(basename "$file") in
    Os_*.cpp | *_Posix.cpp | *_Windows.cpp) continue ;;
  esac
  if grep -Eq "$SYSTEM_HEADERS" "$file"; then
    fail "$file includes a system header; only the platform layer may"
  fi
done

FILE_SYSTEM_CALLS='std::filesystem|<filesystem>|(^|[^_[:alnum:]])(fopen|chdir) *\(|std::(rename|remove) *\('
for file in src/* audit/*.h audit/*.cpp ledger/*.h ledger/*.cpp; do
  case $(basename "$file") in
    Os_*.cpp) continue ;;
  esac
  if grep -Eq "$FILE_SYSTEM_CALLS" "$file"; then
    fail "$file reaches the file system itself; only the platform layer may"
  fi
done
for file in src/Os.h src/Os_*.cpp; do
  if grep -q '^#include "Settlement_Error.h"' "$file"; then
    fail "$file includes Settlement_Error.h; the platform layer throws no program's error"
  fi
done

[ "$failed" -eq 0 ] || exit 1
echo "check-layout: README.md $lines lines; modules layered, renderers leaves;" \
  "system headers and file-system calls only in the platform layer, which" \
  "throws no program's error"
