#!/usr/bin/env bash
# Usage: run-in-fresh-prefix.sh <test program> <package> <next build's package> <package rebuilt>
# Runs the installer tests in a Wine prefix of their own, made anew for each run, next
# to the test program. The packages are handed over as QSM_MSI, QSM_NEXT_MSI and QSM_REBUILT_MSI.
set -u
exe=$1
export WINEPREFIX="$(dirname "$exe")/installer-prefix"
export WINEARCH=win64 WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="mscoree=;mshtml="
export QSM_MSI="Z:${2//\//\\}" QSM_NEXT_MSI="Z:${3//\//\\}" QSM_REBUILT_MSI="Z:${4//\//\\}"
wineserver -k >/dev/null 2>&1
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
# Unmanaged windows, as in the shared prefix (scripts/wine-env.sh).
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w
wine "$exe" </dev/null
rc=$?
wineserver -k >/dev/null 2>&1
# Kept for a look after a failure only.
[ $rc -eq 0 ] && rm -rf "$WINEPREFIX"
exit $rc
