#!/usr/bin/env bash
# Builds a release and makes the Debian package from it:
# build/package/zefmon_<version>_<arch>.deb. Install it with
#   sudo apt install ./build/package/zefmon_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build/package -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/package -j"$(nproc)"
(cd build/package && cpack -G DEB)
ls build/package/*.deb
