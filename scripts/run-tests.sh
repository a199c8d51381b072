#!/usr/bin/env bash
# Runs every test through ctest under Wine, on an Xvfb display of its own when none is set.
# Extra arguments go to ctest (for example: -R net --output-on-failure).
set -uo pipefail
build=${1:-build}; shift || true
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/wine-env.sh" "$build"
trap qsm_stop_display EXIT
qsm_start_display
cd "$qsm_build"
ctest --output-on-failure -j "${QSM_TEST_JOBS:-2}" "$@"
