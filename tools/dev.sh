#!/usr/bin/env bash
# Set-up, build and run for a fresh Debian machine.
#   tools/dev.sh run    install what is missing, build, start the window
#   tools/dev.sh test   install what is missing, build, run every test: the
#                       normal build, the core under AddressSanitizer and
#                       UndefinedBehaviorSanitizer, the contingency study's
#                       tests under ThreadSanitizer, and a one-minute fuzz run
#   tools/dev.sh package
#                       install what is missing, build the Release programs in
#                       build-package and make the Debian package there
#                       (apt install ./build-package/tarvel_*.deb)
#   tools/dev.sh fuzz [SECONDS]
#                       a longer fuzz run of the whole calculation chain
#                       (default one hour); the corpus grows in build-fuzz/corpus
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

# The contingency study's tests and tarvel-cli under ThreadSanitizer.
build_thread_sanitized() {
    cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_TSAN=ON \
          -DTARVEL_BUILD_UI=OFF -DTARVEL_BUILD_BENCH=OFF
    cmake --build build-tsan -j"$jobs" --target test_study tarvel-cli
}

build_fuzzer() {
    CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_FUZZ=ON \
          -DTARVEL_SANITIZE=ON -DTARVEL_BUILD_UI=OFF -DTARVEL_BUILD_TESTS=OFF -DTARVEL_BUILD_BENCH=OFF
    cmake --build build-fuzz -j"$jobs" --target fuzz_run
}

# Runs the fuzz target for the given seconds over the corpus, seeded with the
# sample networks and the seed networks of tests/data/fuzz-seeds, with the
# tokens of the ЦДУ text as a dictionary. A failing input is written to
# build-fuzz/ (crash-*, timeout-*, slow-unit-*); run it again with
# ./build-fuzz/fuzz_run FILE.
run_fuzzer() {
    local seconds=$1
    mkdir -p build-fuzz/corpus
    ./build-fuzz/fuzz_run -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
        -dict=fuzz/cdu.dict -artifact_prefix=build-fuzz/ -print_final_stats=1 \
        build-fuzz/corpus samples tests/data/fuzz-seeds 2>&1 | tail -n 25
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
        echo "== The contingency study's tests under ThreadSanitizer"
        build_thread_sanitized
        # The cold-run comparison of the 2 000-node grid is single-threaded and
        # takes minutes under the sanitizer; the threads are in the others.
        # The lattice's outages take long enough that a worker of oneTBB picks
        # up the loop's first task, whose hand-over inside libtbb (not built
        # for the sanitizer) it cannot see: a race on the task object that is none.
        TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tools/tsan.supp" \
            ./build-tsan/test_study \
            --gtest_filter='-ColdRun.EveryOutageOfAGenerated2000NodeGrid*:StudyOutcome.AMeshedLattice*'
        summary+="; the study's tests passed under ThreadSanitizer"
        echo "== One minute of fuzzing the whole calculation chain"
        build_fuzzer
        run_fuzzer 60
        summary+="; one minute of fuzzing found no failure"
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
    run_fuzzer "${2:-3600}"
    ;;
*)
    echo "usage: tools/dev.sh run|test|package|fuzz [SECONDS]" >&2
    exit 2
    ;;
esac
