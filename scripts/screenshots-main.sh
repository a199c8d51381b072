#!/usr/bin/env bash
# Renders the real main dialog of a test printer under Xvfb (Monitor tab, Info
# tab, and a running log save with its wait box) and saves PNG pictures of it
# into <build>/screenshots/. Needs the build (tests/maindlg_screenshot.exe) and imagemagick.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/wine-env.sh" "$build"
helper="$qsm_build/tests/maindlg_screenshot.exe"
[ -f "$helper" ] || { echo "screenshots: $helper is not built (make build)" >&2; exit 1; }
command -v import >/dev/null || { echo "screenshots: imagemagick's import is missing" >&2; exit 1; }

# A prefix of its own: without a window manager Wine must draw the window frames
# itself (Decorated=N), a setting the test prefix should not carry.
export WINEPREFIX="$qsm_build/wineprefix-screenshots"
out="$qsm_build/screenshots"
mkdir -p "$out"
scratch=$(mktemp -d)
trap 'qsm_stop_display; rm -rf "$scratch"' EXIT
qsm_start_display
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1

languages=$(winepath -w "$top/resources")
for mode in monitor info logbox; do
    ready="$scratch/$mode.ready"
    done_file="$scratch/$mode.done"
    wine "$helper" "$mode" "$(winepath -w "$ready")" "$(winepath -w "$done_file")" "$languages" &
    pid=$!
    for _ in $(seq 1 600); do
        [ -s "$ready" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$ready" ]; then
        echo "screenshots: the main dialog ($mode) did not come up" >&2
        wait "$pid" || true
        exit 1
    fi
    read -r x y w h < "$ready"
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/main-$mode.png"
    touch "$done_file"
    wait "$pid" || { echo "screenshots: the helper failed for $mode" >&2; exit 1; }
    echo "screenshots: $out/main-$mode.png"
done
