#!/usr/bin/env bash
# Installs what building and testing Bexlo needs on Debian 12; quick when all of it is there.
set -eu

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have wine || need+=(wine)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
have Xvfb || need+=(xvfb)
have xwininfo || need+=(x11-utils)
# Debian's image may carry a stand-in "convert"; identify comes only with the real ImageMagick.
have identify || need+=(imagemagick)
have cmake || need+=(cmake)
have ninja || need+=(ninja-build)
have g++ || need+=(g++)
have clang++ || need+=(clang)
# libFuzzer's runtime, for the fuzz preset.
dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || need+=(libclang-rt-14-dev)
have clang-format || need+=(clang-format)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
# The installer: NSIS builds it, 7-Zip lists what is inside.
have makensis || need+=(nsis)
have 7z || need+=(p7zip-full)
# The guide's pictures: keys and clicks into the program's trees.
have xdotool || need+=(xdotool)

if [ ${#need[@]} -gt 0 ]; then
    echo "bootstrap: installing ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${need[@]}" >/dev/null
fi
