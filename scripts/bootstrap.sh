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
# The hash of what a backup copy holds (its header works on its own, for every toolchain).
[ -f /usr/include/xxhash.h ] || need+=(libxxhash-dev)
# The catalog's SQLite comes from the npm registry (below).
have npm || need+=(npm)

if [ ${#need[@]} -gt 0 ]; then
    echo "bootstrap: installing ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${need[@]}" >/dev/null
fi

# SQLite, from the amalgamation a pinned better-sqlite3 ships (only deps/sqlite3 is used), checked
# by the tarball's SHA-256 and unpacked into build/deps/sqlite3, where CMake builds it.
sqlite_package=better-sqlite3@12.11.1
sqlite_sha256=ebf0ed75a7a59dbcb3b24bbd014ef49d9f15bc328e4adcbf516f2a8fadfa2835
deps="$(cd "$(dirname "$0")/.." && pwd)/build/deps"
if [ "$(cat "$deps/sqlite3/.checked" 2>/dev/null)" != "$sqlite_sha256" ]; then
    echo "bootstrap: fetching SQLite from $sqlite_package"
    rm -rf "$deps/sqlite3" "$deps/fetch"
    mkdir -p "$deps/fetch"
    (cd "$deps/fetch" && npm pack --silent "$sqlite_package" >/dev/null)
    tarball=$(ls "$deps"/fetch/*.tgz)
    if [ "$(sha256sum "$tarball" | cut -d ' ' -f 1)" != "$sqlite_sha256" ]; then
        echo "bootstrap: $tarball does not have the pinned SHA-256" >&2
        exit 1
    fi
    tar -xzf "$tarball" -C "$deps/fetch" package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
    mv "$deps/fetch/package/deps/sqlite3" "$deps/sqlite3"
    rm -rf "$deps/fetch"
    echo "$sqlite_sha256" >"$deps/sqlite3/.checked"
fi
