#!/usr/bin/env bash
# Runs the status monitor against the language-monitor simulator in a demo Wine
# prefix of its own: registry values, the language file, three demo printers
# (one on a COM port, which gets no window), lmsim on the TCP port, the program.
# Without a display it starts Xvfb, saves screenshots and ends; with one it runs
# until Ctrl+C or the time limit.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
exe="$build/QuillorStatusMonitor.exe"
sim="$build/tools/lmsim.exe"
tool="$build/tools/qsmdemo.exe"
for f in "$exe" "$sim" "$tool"; do
    [ -f "$f" ] || { echo "demo: $f is not built" >&2; exit 1; }
done

. "$top/scripts/wine-env.sh" "$build"
export WINEPREFIX="$qsm_build/demo-prefix"
out="$qsm_build/demo"
mkdir -p "$out"
rm -f "$out"/*.png
port=${DEMO_PORT:-9100}
limit=${DEMO_SECONDS:-120}
interactive=0
[ -n "${DISPLAY:-}" ] && interactive=1

pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wine64 "$tool" remove >/dev/null 2>&1 || true
    qsm_stop_display
}
trap cleanup EXIT
trap 'exit 130' INT TERM
qsm_start_display

install_dir="$WINEPREFIX/drive_c/Program Files/Quillor"
mkdir -p "$install_dir"
cp "$top/resources/quillor.xml" "$install_dir/"
key='HKLM\Software\Morvane\Config'
wine64 reg add "$key" /v Path /t REG_SZ /d 'C:\Program Files\Quillor' /f >/dev/null 2>&1
wine64 reg add "$key" /v PrinterFilter /t REG_SZ /d QUILLOR /f >/dev/null 2>&1
wine64 reg add "$key" /v UpdateTime /t REG_SZ /d 500 /f >/dev/null 2>&1
wine64 reg add "$key" /v TCPPort /t REG_DWORD /d "$port" /f >/dev/null 2>&1
wine64 "$tool" install

wine64 "$sim" --port "$port" --scenario demo --quiet > "$out/lmsim.log" 2>&1 &
pids+=($!)
sleep 1
wine64 "$exe" > "$out/monitor.log" 2>&1 &
pids+=($!)

if [ "$interactive" = 1 ]; then
    echo "demo: running on $DISPLAY for $limit s (Ctrl+C ends it)"
    wine64 "$tool" arrange || true
    sleep "$limit"
    exit 0
fi

wine64 "$tool" arrange
sleep 4
import -window root "$out/monitor.png"
if wine64 "$tool" waitbox 20; then
    import -window root "$out/error.png"
    wine64 "$tool" closebox || true
fi
wine64 "$tool" tab 1
sleep 1
import -window root "$out/info.png"
echo "demo: screenshots:"
ls -1 "$out"/*.png
