#!/usr/bin/env bash
# Builds the native fuzz targets of fuzz/ (clang-14, libFuzzer, ASan, UBSan) into a
# folder of their own and runs each one: first every committed regression input of
# fuzz/regressions/<target>/, then FUZZ_SECONDS seconds (default 60) of fuzzing from
# the committed seeds of fuzz/corpus/<target>/. New inputs go to <build>/corpus/,
# crashes to <build>/artifacts/<target>/. FUZZ_SEED fixes libFuzzer's random seed.
# Usage: run-fuzz.sh [build folder] [target...]
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-fuzz}; shift || true
case $build in /*) ;; *) build="$top/$build" ;; esac
seconds=${FUZZ_SECONDS:-60}

if [ ! -f "$build/build.ninja" ]; then
    CC=clang-14 CXX=clang++-14 cmake -S "$top/fuzz" -B "$build" -G Ninja >/dev/null || exit 1
fi
cmake --build "$build" -j "${JOBS:-$(nproc)}" >"$build/build.log" 2>&1 || {
    cat "$build/build.log"; echo "fuzz: build failed" >&2; exit 1; }

if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=()
    for src in "$top"/fuzz/*_fuzz.cpp; do
        name=$(basename "$src" _fuzz.cpp)
        targets+=("$name")
    done
fi

failed=()
for t in "${targets[@]}"; do
    exe="$build/fuzz_$t"
    log="$build/fuzz_$t.log"
    [ -x "$exe" ] || { echo "fuzz $t: no program $exe"; failed+=("$t"); continue; }

    regressions=("$top/fuzz/regressions/$t"/*)
    replayed=""
    if [ -e "${regressions[0]}" ]; then
        replayed="${#regressions[@]} regression inputs pass; "
        if ! "$exe" "${regressions[@]}" >"$log" 2>&1; then
            tail -n 30 "$log"
            echo "fuzz $t: a regression input fails again (log: $log)"
            failed+=("$t")
            continue
        fi
    fi

    work="$build/corpus/$t"
    artifacts="$build/artifacts/$t"
    mkdir -p "$work" "$artifacts"
    options=(-max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
             -artifact_prefix="$artifacts/")
    [ -f "$top/fuzz/$t.dict" ] && options+=(-dict="$top/fuzz/$t.dict")
    [ -n "${FUZZ_SEED:-}" ] && options+=(-seed="$FUZZ_SEED")
    if "$exe" "${options[@]}" "$work" "$top/fuzz/corpus/$t" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
        units=$(find "$work" -type f | wc -l)
        echo "fuzz $t: $replayed${runs:-?} runs in ${seconds} s, ${speed:-?} exec/s, $units inputs in the working corpus; no crash"
    else
        grep -m1 -A40 '^==[0-9]*==ERROR\|property failed\|runtime error\|deadly signal' "$log" | head -n 40
        echo "fuzz $t: CRASH; input saved under $artifacts/ (log: $log)"
        failed+=("$t")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: failed: ${failed[*]}"
    exit 1
fi
echo "fuzz: ${#targets[@]} targets, no crash"
