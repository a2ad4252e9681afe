#!/bin/sh
# Configures the project with a maintainer named and checks that the
# package's contact and the changelog's signer are that maintainer.
#   package_maintainer_test.sh SOURCE_DIR SCRATCH_DIR
set -eu
source=$1
scratch=$2
maintainer='Jane Packager <jane@packager.test>'
rm -rf "$scratch"
cmake -S "$source" -B "$scratch" -DFARE_BUILD_TESTS=OFF \
  -DFARE_MAINTAINER="$maintainer" >/dev/null
fail() { echo "package_maintainer_test: $1" >&2; exit 1; }
grep -qF "set(CPACK_PACKAGE_CONTACT \"$maintainer\")" \
  "$scratch/CPackConfig.cmake" || fail "the package's contact is not $maintainer"
grep -qF " -- $maintainer  " "$scratch/packaging/changelog" ||
  fail "the changelog is not signed by $maintainer"
rm -rf "$scratch"
