#!/usr/bin/env bash
# Runs the benchmark under Wine, on an Xvfb display of its own when none is set.
# The table goes to the terminal; the same figures go to <build>/bench.json.
# QSM_BENCH_RUNS (repeated runs, default 15) and QSM_BENCH_IDLE_S (idle
# measurement, default 30 s) shorten or lengthen it.
set -uo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/wine-env.sh" "$build"
trap qsm_stop_display EXIT
qsm_start_display
# The Wine process keeps the shell's Linux id: the benchmark reads its threads'
# run times there (GetThreadTimes counts 10 ms ticks under Wine).
sh -c 'export QSM_UNIX_PID=$$; exec wine "$1"' bench "$qsm_build/tools/bench.exe"
