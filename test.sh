#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every test through CTest.
#   ./test.sh [ctest arguments]   Release build in build/
#   ./test.sh --sanitize [...]    the whole suite with AddressSanitizer and UBSan, build-asan/
#   ./test.sh --fuzz              every libFuzzer target for FUZZ_SECONDS (60) each, build-fuzz/
set -euo pipefail
cd "$(dirname "$0")"
mode=plain
case "${1:-}" in
--sanitize) mode=sanitize; shift ;;
--fuzz) mode=fuzz; shift ;;
esac
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"

case "$mode" in
plain)
    scripts/deps.sh
    scripts/build.sh
    cd build
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 "$@"
    ;;
sanitize)
    scripts/deps.sh
    flags="-O1 -g -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
    if [ ! -f build-asan/CMakeCache.txt ]; then
        cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=None \
            -DCMAKE_CXX_FLAGS="$flags" \
            -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
    fi
    cmake --build build-asan
    cd build-asan
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1"
    export LSAN_OPTIONS="suppressions=$PWD/../scripts/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    # Sanitized code runs several times slower; the tests' own time-outs still hold.
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 900 "$@"
    ;;
fuzz)
    scripts/deps.sh --fuzz
    flags="-O1 -g -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer"
    if [ ! -f build-fuzz/CMakeCache.txt ]; then
        CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=None \
            -DTERVAXIS_FUZZ=ON -DCMAKE_CXX_FLAGS="$flags" \
            -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
    fi
    targets=(fuzz_number fuzz_conf fuzz_systerr fuzz_fetch fuzz_datafile fuzz_ini fuzz_lang fuzz_probe)
    cmake --build build-fuzz --target "${targets[@]}"
    seconds="${FUZZ_SECONDS:-60}"
    export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    failed=()
    for t in "${targets[@]}"; do
        corpus="build-fuzz/corpus/$t"
        mkdir -p "$corpus" build-fuzz/artifacts
        echo "== $t (${seconds}s)"
        # The committed seeds are read, never written; what the fuzzer finds goes to build-fuzz.
        if ! build-fuzz/fuzz/"$t" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
            -artifact_prefix="build-fuzz/artifacts/$t-" -print_final_stats=1 \
            "$corpus" "fuzz/corpus/$t" 2>"build-fuzz/$t.log"; then
            failed+=("$t")
            tail -n 40 "build-fuzz/$t.log"
        else
            grep -E '^stat::number_of_executed_units' "build-fuzz/$t.log" || true
        fi
    done
    if [ ${#failed[@]} -gt 0 ]; then
        echo "Fuzzing found inputs that fail: ${failed[*]} (see build-fuzz/artifacts/)"
        exit 1
    fi
    echo "Fuzzing: no failures"
    ;;
esac
