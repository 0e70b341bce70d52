#!/usr/bin/env bash
# Set-up, build and run for a fresh Debian machine.
#   tools/dev.sh run    install what is missing, build, start the window
#   tools/dev.sh test   install what is missing, build, run every test: the
#                       normal build, the core under AddressSanitizer and
#                       UndefinedBehaviorSanitizer, the study's and the load
#                       profiles' tests under ThreadSanitizer, and a minute of
#                       fuzzing the calculation chain and the study's readers
#   tools/dev.sh package
#                       install what is missing, build the Release programs in
#                       build-package and make the Debian package there
#                       (apt install ./build-package/tarvel_*.deb)
#   tools/dev.sh fuzz [SECONDS] [TARGET]
#                       a longer fuzz run of the whole calculation chain
#                       (default one hour; TARGET fuzz_study for the study's
#                       readers); the corpus grows in build-fuzz/corpus
#                       (build-fuzz/corpus-study)
# TARVEL_QUICK=1 leaves out the sanitizer builds and the fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-run}
build_dir=${TARVEL_BUILD_DIR:-build}
jobs=$(nproc 2>/dev/null || echo 2)

packages=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev qt6-svg-dev libgraphviz-dev qt6-translations-l10n fonts-liberation xvfb xauth
          dpkg-dev librsvg2-bin desktop-file-utils shared-mime-info groff-base xdg-utils file
          python3-jsonschema python3-numpy libsuitesparse-dev libmetis-dev libtbb-dev
          libopenmpi-dev openmpi-bin qt6-charts-dev)
# The fuzzer and sanitizer runtime of the distribution's default clang: the
# two packages always come in matching versions.
fuzz_packages=(clang libclang-rt-dev)

# Installs what is missing of the given packages (all of packages= by default).
install_missing() {
    local wanted=("$@")
    [ ${#wanted[@]} -eq 0 ] && wanted=("${packages[@]}")
    local missing=()
    for p in "${wanted[@]}"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q "${missing[@]}"
}

build() {
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$build_dir" -j"$jobs"
}

# The Debian package of the build in $1, with its contents listed.
make_package() {
    (cd "$1" && cpack -G DEB >cpack.log 2>&1) || { cat "$1/cpack.log"; return 1; }
    local deb
    deb=$(ls -t "$1"/tarvel_*.deb | head -n 1)
    dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Depends\|Recommends\):/\1:/p'
    dpkg-deb --contents "$deb" | awk '$NF !~ /\/$/ { print $NF }'
    echo "$deb"
}

build_sanitized() {
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_SANITIZE=ON \
          -DTARVEL_BUILD_UI=OFF -DTARVEL_BUILD_BENCH=OFF
    cmake --build build-asan -j"$jobs"
}

# The contingency study's and the load profiles' tests and tarvel-cli under
# ThreadSanitizer.
build_thread_sanitized() {
    cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_TSAN=ON \
          -DTARVEL_BUILD_UI=OFF -DTARVEL_BUILD_BENCH=OFF
    cmake --build build-tsan -j"$jobs" --target test_study test_series tarvel-cli
}

build_fuzzer() {
    CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_FUZZ=ON \
          -DTARVEL_SANITIZE=ON -DTARVEL_BUILD_UI=OFF -DTARVEL_BUILD_TESTS=OFF -DTARVEL_BUILD_BENCH=OFF
    cmake --build build-fuzz -j"$jobs" --target fuzz_run fuzz_study
}

# Runs a fuzz target for the given seconds over its corpus, with a failing
# input written to build-fuzz/ (crash-*, timeout-*, slow-unit-*); run it again
# with ./build-fuzz/TARGET FILE. fuzz_run takes the sample networks and the
# seed networks of tests/data/fuzz-seeds, with the tokens of the ЦДУ text as a
# dictionary; fuzz_study the study's seeds (tests/data/fuzz-study-seeds), the
# public contingency and scenario tables and the sample limits.
run_fuzzer() {
    local seconds=$1 target=${2:-fuzz_run}
    local corpus=build-fuzz/corpus seeds=(samples tests/data/fuzz-seeds) options=(-dict=fuzz/cdu.dict)
    if [ "$target" = fuzz_study ]; then
        corpus=build-fuzz/corpus-study
        seeds=(tests/data/fuzz-study-seeds tests/data/study)
        options=()
    fi
    mkdir -p "$corpus"
    ./build-fuzz/"$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
        "${options[@]}" -artifact_prefix=build-fuzz/ -print_final_stats=1 \
        "$corpus" "${seeds[@]}" 2>&1 | tail -n 25
    return "${PIPESTATUS[0]}"
}

# The number of tests of a ctest run, from its closing line in the log.
tests_passed() {
    awk '/tests failed out of/ { n = $NF } END { print n + 0 }' "$1"
}

case "$mode" in
run)
    install_missing
    build
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        exec "$build_dir/tarvel"
    else
        echo "No display: starting the window under xvfb-run."
        exec xvfb-run -a "$build_dir/tarvel"
    fi
    ;;
test)
    install_missing
    if [ -z "${TARVEL_QUICK:-}" ]; then
        install_missing "${fuzz_packages[@]}"
    fi
    build
    log=$(mktemp)
    (cd "$build_dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs") | tee "$log"
    summary="$(tests_passed "$log") passed, 0 failed"
    # The installed tree is checked by ctest (install_tree); the package is made
    # from the same build, stripped, so no second build is needed.
    echo "== Debian package"
    make_package "$build_dir"
    if [ -z "${TARVEL_QUICK:-}" ]; then
        echo "== Core tests under AddressSanitizer and UndefinedBehaviorSanitizer"
        build_sanitized
        (suppressions="$PWD/tools/lsan.supp" && cd build-asan &&
            ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$suppressions" UBSAN_OPTIONS=print_stacktrace=1 \
            ctest --output-on-failure -j"$jobs") | tee "$log"
        summary+="; the $(tests_passed "$log") core tests among them passed again under the sanitizers"
        echo "== The study's and the load profiles' tests under ThreadSanitizer"
        build_thread_sanitized
        # oneTBB's hand-overs are told to the sanitizer by the program itself
        # (powerflow/TaskHandOver.h); tools/tsan.supp names only races inside
        # oneTBB's own code, which the longest history lets the sanitizer
        # name on both sides. The cold-run comparison of the 2 000-node grid
        # is single-threaded and takes minutes under the sanitizer.
        for suite in test_study test_series; do
            TSAN_OPTIONS="halt_on_error=1 history_size=7 suppressions=$PWD/tools/tsan.supp" \
                ./build-tsan/$suite --gtest_filter='-ColdRun.EveryOutageOfAGenerated2000NodeGrid*'
        done
        summary+="; the study's and the load profiles' tests passed under ThreadSanitizer"
        echo "== A minute of fuzzing: the whole calculation chain, then the study's readers"
        build_fuzzer
        run_fuzzer 40 fuzz_run
        run_fuzzer 20 fuzz_study
        summary+="; a minute of fuzzing found no failure"
    fi
    rm -f "$log"
    # set -o pipefail has already stopped the script on any failure above.
    echo "$summary"
    ;;
package)
    install_missing
    cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release \
          -DTARVEL_BUILD_TESTS=OFF -DTARVEL_BUILD_BENCH=OFF
    cmake --build build-package -j"$jobs"
    make_package build-package
    ;;
fuzz)
    install_missing
    install_missing "${fuzz_packages[@]}"
    build_fuzzer
    run_fuzzer "${2:-3600}" "${3:-fuzz_run}"
    ;;
*)
    echo "usage: tools/dev.sh run|test|package|fuzz [SECONDS] [fuzz_run|fuzz_study]" >&2
    exit 2
    ;;
esac
