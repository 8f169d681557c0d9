#!/usr/bin/env bash
# Sets up, builds and runs Brindle on Debian 12.
#
#   ./build.sh run [ARGS...]   install missing packages, build, start the window (brindle) with ARGS
#   ./build.sh cli [ARGS...]   install missing packages, build, run brindle-cli with ARGS
#   ./build.sh test            install missing packages, build, run the whole test suite
#
# BRINDLE_SANITIZE=address (ASan + UBSan) or BRINDLE_SANITIZE=thread builds into a
# separate folder with that sanitizer; BRINDLE_BUILD_TYPE=Debug builds into build-debug
# with assertions on. BRINDLE_WERROR=ON makes every compiler warning an error.
# BRINDLE_JOBS sets the build parallelism.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
command="${1:-}"
[ $# -gt 0 ] && shift

# libxxhash-dev: XXH3 digests of checksum lists; xxhash: xxhsum, which reads them in
# tst_manifest (as coreutils' sha256sum and b2sum do).
# exfat-fuse, exfatprogs, fusefat and dosfstools: the copies onto exFAT and FAT (tst_clifilesystems).
# desktop-file-utils, appstream and shared-mime-info: the checks of the installed desktop
# files; dpkg-dev and file: the Debian package (cpack -G DEB finds its dependencies with them).
# qttools5-dev: lupdate and lrelease for the translations; qttranslations5-l10n: Qt's own
# texts (dialog buttons, the command-line parser's headings) in the user's language.
# dbus: the private bus of the desktop-session tests (tst_sleepinhibitor, tst_desktopsession).
# xvfb, xauth, at-spi2-core, python3-pyatspi, xdotool, x11-utils (xprop) and imagemagick: the window on a
# virtual screen, read over AT-SPI, and its screenshots (tests/window).
packages=(build-essential cmake pkg-config qtbase5-dev qtbase5-dev-tools qttools5-dev-tools
          qttools5-dev qttranslations5-l10n libqt5svg5-dev libssl-dev libxxhash-dev xxhash rsync util-linux
          clang libclang-rt-14-dev exfat-fuse exfatprogs fusefat dosfstools
          desktop-file-utils appstream shared-mime-info dpkg-dev file dbus
          xvfb xauth at-spi2-core python3-pyatspi xdotool x11-utils imagemagick)

install_packages() {
    local missing=()
    for package in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

# build [TARGET...]: all targets, or only those named (and what they need).
build() {
    local sanitize="${BRINDLE_SANITIZE:-}"
    local build_type="${BRINDLE_BUILD_TYPE:-}"
    if [ -n "$sanitize" ]; then
        build_dir="$here/build-$sanitize"
        build_type="${build_type:-RelWithDebInfo}"
    elif [ "$build_type" = Debug ]; then
        build_dir="$here/build-debug"
    else
        build_dir="$here/build"
        build_type="${build_type:-Release}"
    fi
    cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE="$build_type" \
        -DBRINDLE_SANITIZE="$sanitize" -DBRINDLE_WERROR="${BRINDLE_WERROR:-OFF}" >/dev/null
    local targets=()
    for target in "$@"; do targets+=(--target "$target"); done
    cmake --build "$build_dir" -j "${BRINDLE_JOBS:-$(nproc)}" "${targets[@]}"
}

case "$command" in
run)
    install_packages
    # The programs only: the tests are built by ./build.sh test.
    build brindle brindle-cli
    # Without a display the window program says so and points to brindle-cli.
    exec "$build_dir/src/app/brindle" "$@"
    ;;
cli)
    install_packages
    build brindle-cli
    exec "$build_dir/src/cli/brindle-cli" "$@"
    ;;
test)
    install_packages
    build
    export QT_QPA_PLATFORM=offscreen
    if [ "${BRINDLE_SANITIZE:-}" = thread ]; then
        export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1"
    elif [ "${BRINDLE_SANITIZE:-}" = address ]; then
        export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
        export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    fi
    cd "$build_dir"
    ctest --output-on-failure -j "${BRINDLE_JOBS:-$(nproc)}" "$@"
    ;;
*)
    echo "usage: $0 run [ARGS...] | cli [ARGS...] | test [CTEST-ARGS...]" >&2
    exit 2
    ;;
esac
