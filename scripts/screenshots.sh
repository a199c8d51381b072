#!/usr/bin/env bash
# Renders under Xvfb the Monitor and the Info page of a test printer inside a
# window shaped like the main dialog, and the real main dialog fed with a few
# status messages (Monitor tab, Info tab, and a running log save with its wait
# box), and saves PNG pictures of those windows into <build>/screenshots/.
# Needs the build (tests/page_screenshot.exe, tests/maindlg_screenshot.exe) and imagemagick.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/wine-env.sh" "$build"
pages="$qsm_build/tests/page_screenshot.exe"
main="$qsm_build/tests/maindlg_screenshot.exe"
for helper in "$pages" "$main"; do
    [ -f "$helper" ] || { echo "screenshots: $helper is not built (make build)" >&2; exit 1; }
done
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

# shoot <helper> <mode> <picture name>: the helper reports its window's rectangle
# in a ready file and waits for a done file while the picture is taken.
shoot() {
    local helper=$1 mode=$2 name=$3
    local ready="$scratch/$name.ready" done_file="$scratch/$name.done"
    wine "$helper" "$mode" "$(winepath -w "$ready")" "$(winepath -w "$done_file")" "$languages" &
    local pid=$!
    for _ in $(seq 1 600); do
        [ -s "$ready" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$ready" ]; then
        echo "screenshots: $name did not come up" >&2
        wait "$pid" || true
        exit 1
    fi
    local x y w h
    read -r x y w h < "$ready"
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$name.png"
    touch "$done_file"
    wait "$pid" || { echo "screenshots: the helper failed for $name" >&2; exit 1; }
    echo "screenshots: $out/$name.png"
}

for page in monitor info; do
    shoot "$pages" "$page" "$page"
done
for mode in monitor info logbox; do
    shoot "$main" "$mode" "main-$mode"
done
