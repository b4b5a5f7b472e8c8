#!/usr/bin/env bash
# The test command: makes the machine ready (bootstrap), then runs every test
# under Wine in the build's prefix inside one Xvfb display. Arguments go to
# ctest (for example -R KeyInfo).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${UKEY_BUILD:-$top/build}
"$top/scripts/bootstrap.sh"
. "$top/scripts/wine-session.sh" "$build"
set +e
ctest --test-dir "$build" --output-on-failure "$@"
status=$?
set -e
exit $status
