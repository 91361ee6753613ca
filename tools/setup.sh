#!/usr/bin/env bash
# Installs what the build needs (on Debian or Ubuntu) and configures and builds
# the project in build/: everything, or only the targets named (./run builds
# just the program). Run by ./run and ./test.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

# python3-serial: its RFC 2217 server is the independent peer of the network port tests.
# lrzsz, socat: sx and rx are the independent XMODEM peers, joined to the program over TCP.
# desktop-file-utils, appstream: the tests validate the desktop entry and the metainfo.
# qt6-httpserver-dev, qt6-websockets-dev: the service's status page; chromium: its browser test.
packages=(cmake g++ make ccache qt6-base-dev qt6-serialport-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libgl-dev
          qt6-httpserver-dev qt6-websockets-dev chromium
          python3-serial desktop-file-utils appstream lrzsz socat
          libsystemd-dev pkg-config)

missing=()
if command -v dpkg-query >/dev/null 2>&1; then
    for p in "${packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
elif ! command -v cmake >/dev/null 2>&1 || ! command -v c++ >/dev/null 2>&1; then
    echo "Please install CMake, a C++20 compiler and Qt 6 (Widgets, SerialPort, Svg, Test)." >&2
    echo "On Debian or Ubuntu these are: ${packages[*]}" >&2
    exit 1
fi

if [ "${#missing[@]}" -gt 0 ]; then
    if command -v apt-get >/dev/null 2>&1; then
        sudo=""
        if [ "$(id -u)" -ne 0 ]; then
            if command -v sudo >/dev/null 2>&1; then
                sudo="sudo"
            else
                echo "Please install these packages as root: ${missing[*]}" >&2
                exit 1
            fi
        fi
        echo "Installing: ${missing[*]}"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
    else
        echo "Please install these packages: ${missing[*]}" >&2
        exit 1
    fi
fi

build="$here/build"
# Paths in the compiler cache relative to the tree, so that another clone
# (CI's) reuses what this one compiled.
export CCACHE_BASEDIR="$here"
if [ ! -f "$build/CMakeCache.txt" ]; then
    launcher=()
    if command -v ccache >/dev/null 2>&1; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
fi
# Everything (./test) includes the tests: a folder configured without them
# (for a package) is configured with them again, so that no test program
# older than the code is ever run.
if [ "$#" -eq 0 ] && grep -q '^BUILD_TESTING:BOOL=OFF' "$build/CMakeCache.txt"; then
    cmake "$build" -DBUILD_TESTING=ON >/dev/null
fi
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$build" --parallel "$(nproc 2>/dev/null || echo 2)" "${targets[@]}"
