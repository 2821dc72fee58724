#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh
scripts/ensure-packages.sh "${BUILD_PACKAGES[@]}"

cmake -S . -B build -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLEDSIGN_TESTS=OFF \
    -DLEDSIGN_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)"

if [ -x build/app/ledsign-editor ]; then
    exec build/app/ledsign-editor
fi
echo "The editor window is not built yet; the command-line tool is ready:"
exec build/tools/ledsign --help
