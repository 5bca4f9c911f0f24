#!/usr/bin/env bash
# Builds the Debian package from a clean tree: a fresh build folder (build-package/, removed
# first) configured for /usr without tests or benchmarks, then `cpack -G DEB`, whose
# dependencies dpkg-shlibdeps computes. The package lands in dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if command -v git >/dev/null && git rev-parse --git-dir >/dev/null 2>&1 &&
   [ -n "$(git status --porcelain --untracked-files=normal -- src packaging CMakeLists.txt cmake)" ]; then
  echo "package: note: the tree has uncommitted changes; they go into the package" >&2
fi
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
rm -rf build-package
cmake -S . -B build-package -G Ninja "${launcher[@]}" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DLARDERLY_TESTS=OFF -DLARDERLY_BENCH=OFF >/dev/null
cmake --build build-package -j "$(nproc)"
(cd build-package && cpack -G DEB)
mkdir -p dist
cp build-package/larderly_*.deb dist/
ls -l dist/larderly_*.deb
echo "install with: sudo apt-get install ./$(ls dist/larderly_*.deb | tail -n 1)"
