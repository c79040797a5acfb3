#!/usr/bin/env bash
# Builds the Debian package: a Release build for /usr in build/package, then cpack.
#
#   scripts/package.sh      ->  build/package/sorvane_VERSION_ARCH.deb
#
# SORVANE_JOBS sets the build jobs (default: all processors). SORVANE_PACKAGE_BUILD
# names a build folder of your own to package as it is instead (configured and built
# already; the tests package build/asan this way).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${SORVANE_PACKAGE_BUILD:-build/package}
if [ -z "${SORVANE_PACKAGE_BUILD:-}" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSORVANE_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr
    cmake --build "$build" -j "${SORVANE_JOBS:-$(nproc)}"
fi
rm -f "$build"/sorvane_*.deb
(cd "$build" && cpack -G DEB)
ls "$build"/sorvane_*.deb
