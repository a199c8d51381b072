#!/usr/bin/env bash
# Installs what the build and the tests need when it is missing, and fetches
# TinyXML's source into a gitignored folder. Safe to run again: it does nothing
# once everything is in place.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

pkgs=(g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 xvfb cmake ninja-build
      dpkg-dev googletest imagemagick x11-utils fonts-wine fonts-liberation python3
      clang-14 libclang-rt-14-dev libtinyxml-dev wixl msitools nlohmann-json3-dev python3-prometheus-client libmonitoring-plugin-perl)
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "setup: missing packages: ${missing[*]} (run as root to install them)" >&2
        exit 1
    fi
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# TinyXML: Debian ships it for Linux only; its source package builds with MinGW.
tx="$top/third_party/tinyxml"
if [ ! -f "$tx/tinyxml.cpp" ]; then
    if ! ls /etc/apt/sources.list.d/*.sources 2>/dev/null | xargs grep -qs '^Types: deb-src' \
       && ! grep -qs '^deb-src' /etc/apt/sources.list; then
        src=/etc/apt/sources.list.d/debian.sources
        if [ -f "$src" ]; then
            sed 's/^Types: deb$/Types: deb-src/' "$src" > /etc/apt/sources.list.d/debian-src.sources
        else
            sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > /etc/apt/sources.list.d/debian-src.list
        fi
        apt-get update -qq
    fi
    scratch=$(mktemp -d)
    (cd "$scratch" && apt-get source -qq tinyxml >/dev/null 2>&1)
    dir=$(find "$scratch" -maxdepth 1 -type d -name 'tinyxml-*' | head -n 1)
    [ -n "$dir" ] || { echo "setup: apt-get source tinyxml failed" >&2; exit 1; }
    mkdir -p "$tx"
    cp "$dir"/tinyxml.cpp "$dir"/tinyxml.h "$dir"/tinystr.cpp "$dir"/tinystr.h \
       "$dir"/tinyxmlerror.cpp "$dir"/tinyxmlparser.cpp "$tx"/
    rm -rf "$scratch"
fi
