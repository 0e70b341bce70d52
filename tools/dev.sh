#!/usr/bin/env bash
# Set-up, build and run for a fresh Debian machine.
#   tools/dev.sh run    install what is missing, build, start the window
#   tools/dev.sh test   install what is missing, build, run every test
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-run}
build_dir=${TARVEL_BUILD_DIR:-build}
jobs=$(nproc 2>/dev/null || echo 2)

packages=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev fonts-liberation xvfb xauth clang libclang-rt-14-dev)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() {
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$build_dir" -j"$jobs"
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
    build
    cd "$build_dir"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs"
    ;;
*)
    echo "usage: tools/dev.sh run|test" >&2
    exit 2
    ;;
esac
