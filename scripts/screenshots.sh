#!/usr/bin/env bash
# Renders the Monitor and the Info page of a test printer under Xvfb, inside a
# window shaped like the main dialog, and saves PNG pictures of that window into
# <build>/screenshots/. Needs the build (tests/page_screenshot.exe) and imagemagick.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/wine-env.sh" "$build"
helper="$qsm_build/tests/page_screenshot.exe"
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
for page in monitor info; do
    ready="$scratch/$page.ready"
    done_file="$scratch/$page.done"
    wine "$helper" "$page" "$(winepath -w "$ready")" "$(winepath -w "$done_file")" "$languages" &
    pid=$!
    for _ in $(seq 1 600); do
        [ -s "$ready" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$ready" ]; then
        echo "screenshots: the $page page did not come up" >&2
        wait "$pid" || true
        exit 1
    fi
    read -r x y w h < "$ready"
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$page.png"
    touch "$done_file"
    wait "$pid" || { echo "screenshots: the helper failed for the $page page" >&2; exit 1; }
    echo "screenshots: $out/$page.png"
done
