#!/usr/bin/env bash
# Configures and builds one flavour: plain (build/), asan (build-asan/) or fuzz (build-fuzz/).
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-plain}
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
case "$flavour" in
  plain) dir=build; extra=() ;;
  asan)  dir=build-asan; extra=(-DLARDERLY_SANITIZE=ON) ;;
  fuzz)  dir=build-fuzz; extra=(-DLARDERLY_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "usage: build.sh [plain|asan|fuzz]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
