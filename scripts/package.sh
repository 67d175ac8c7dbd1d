#!/usr/bin/env bash
# Builds the installers with NSIS:
#   build/windows-x86/package/Bexlo-Setup-<version>.exe       the one people install
#   build/windows-x64/package/Bexlo-Setup-<version>-x64.exe   a variant to try under Wine
# The version is the one of project() in CMakeLists.txt. The installer is also made by every
# ordinary build of the two presets; this builds only what it needs.
set -u
cd "$(dirname "$0")/.."
scripts/bootstrap.sh || exit 1
for preset in windows-x86 windows-x64; do
    cmake --preset "$preset" >/dev/null || exit 1
    cmake --build --preset "$preset" --target bexlo_installer || exit 1
done
ls -l build/windows-x86/package/Bexlo-Setup-*.exe build/windows-x64/package/Bexlo-Setup-*.exe
