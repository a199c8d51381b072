# Sourced by the scripts: a Wine prefix inside the build folder and a display.
# Usage: . scripts/wine-env.sh <build dir>; then qsm_start_display; ...; qsm_stop_display
qsm_build=$(cd "$1" && pwd)
export WINEPREFIX="$qsm_build/wineprefix"
export WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64
qsm_xvfb_pid=""

qsm_start_display() {
    if [ -z "${DISPLAY:-}" ]; then
        local n
        for n in $(seq 90 140); do
            [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
            qsm_xvfb_pid=$!
            export DISPLAY=":$n"
            local i
            for i in $(seq 1 50); do
                [ -e "/tmp/.X11-unix/X$n" ] && break
                sleep 0.1
            done
            break
        done
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine: creating prefix $WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        # Without a window manager Wine waits about 2 s on each window it hands
        # to X; unmanaged windows close at once and Wine draws their frames.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
        wineserver -w
    fi
    # A crashing program must end, not wait under winedbg (or its dialog) until the
    # test's time-out.
    if ! grep -q ShowCrashDialog "$WINEPREFIX/user.reg" 2>/dev/null; then
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
        wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
        wineserver -w
    fi
    # The wine server and Wine's own services would otherwise be started by the
    # first test and inherit its output pipe, keeping ctest waiting on it for
    # seconds; start them first with their output elsewhere.
    wineserver -p >/dev/null 2>&1 </dev/null || true
    wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
}

qsm_stop_display() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$qsm_xvfb_pid" ]; then
        kill "$qsm_xvfb_pid" 2>/dev/null || true
        wait "$qsm_xvfb_pid" 2>/dev/null || true
    fi
}
