#!/usr/bin/env bash
set -euo pipefail
build=${1:-build}
if [ ! -f "$build/QuillorStatusMonitor.exe" ] || [ ! -f "$build/tools/lmsim.exe" ]; then
    echo "demo: the program (QuillorStatusMonitor.exe) and the simulator (lmsim.exe) are not built yet." >&2
    exit 1
fi
echo "demo: not yet wired up" >&2
exit 1
