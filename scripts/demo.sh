#!/usr/bin/env bash
# Runs the status monitor against the language-monitor simulator in a demo Wine
# prefix of its own (build/demo-prefix): registry values, the language file, three
# demo printers (one on a COM port, which gets no window), lmsim on the TCP port,
# the program. With DISPLAY set it runs there until Ctrl+C or the time limit;
# without one it starts Xvfb, saves screenshots into build/demo/ and ends.
# Environment: DEMO_PORT (9100), DEMO_SECONDS (time limit, 120).
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
exe="$build/QuillorStatusMonitor.exe"
sim="$build/tools/lmsim.exe"
tool="$build/tools/qsmdemo.exe"
stat="$build/quillorstat.exe"
for f in "$exe" "$sim" "$tool" "$stat" "$build/tests/quillortest.dll"; do
    [ -f "$f" ] || { echo "demo: $f is not built" >&2; exit 1; }
done

interactive=0
[ -n "${DISPLAY:-}" ] && interactive=1
. "$top/scripts/wine-env.sh" "$build"
export WINEPREFIX="$qsm_build/demo-prefix"
out="$qsm_build/demo"
mkdir -p "$out"
rm -f "$out"/*.png
port=${DEMO_PORT:-9100}
limit=${DEMO_SECONDS:-120}

pids=()
cleanup() {
    trap - EXIT INT TERM
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wine "$tool" remove >/dev/null 2>&1 || true
    qsm_stop_display
}
trap cleanup EXIT
trap 'echo; echo "demo: stopped"; exit 130' INT TERM

echo "demo: preparing the Wine prefix $WINEPREFIX"
qsm_start_display
install_dir="$WINEPREFIX/drive_c/Program Files/Quillor"
mkdir -p "$install_dir"
cp "$top/resources/quillor.xml" "$install_dir/"
key='HKLM\Software\Morvane\Config'
wine reg add "$key" /v Path /t REG_SZ /d 'C:\Program Files\Quillor' /f >/dev/null 2>&1
wine reg add "$key" /v PrinterFilter /t REG_SZ /d QUILLOR /f >/dev/null 2>&1
wine reg add "$key" /v UpdateTime /t REG_SZ /d 500 /f >/dev/null 2>&1
wine reg add "$key" /v TCPPort /t REG_DWORD /d "$port" /f >/dev/null 2>&1
wine "$tool" remove >/dev/null 2>&1 || true # printers of an interrupted run
wine "$tool" install

wine "$sim" --port "$port" --scenario demo > "$out/lmsim.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
    grep -q "listening" "$out/lmsim.log" 2>/dev/null && break
    sleep 0.1
done
grep -q "listening" "$out/lmsim.log" || { echo "demo: lmsim did not start:" >&2; cat "$out/lmsim.log" >&2; exit 1; }
wine "$exe" > "$out/monitor.log" 2>&1 &
pids+=($!)
wine "$tool" arrange

if [ "$interactive" = 1 ]; then
    echo "demo: running on $DISPLAY; everything ends after $limit s or on Ctrl+C"
    sleep "$limit" &
    wait $! || true
    exit 0
fi

echo "demo: running on Xvfb $DISPLAY; screenshots follow (at most $limit s)"
# Guards the rest against a hang; the screenshots take about 20 s.
(
    sleep "$limit" &
    s=$!
    trap 'kill $s 2>/dev/null; exit 0' TERM
    wait $s
    kill -TERM $$
) >/dev/null 2>&1 &
pids+=($!)
sleep 4
import -window root "$out/monitor.png"
if wine "$tool" waitbox 20; then
    sleep 1
    import -window root "$out/error.png"
    wine "$tool" closebox || true
fi
wine "$tool" tab 1
sleep 1
import -window root "$out/info.png"
echo "demo: screenshots:"
ls -1 "$out"/*.png
echo "demo: quillorstat (the same printers from the command line):"
wine "$stat" || true
