#!/usr/bin/env bash
# Sets everything up, builds and runs the whole suite: the plain build, the plain build
# installed and used as a normal user (scripts/install-check.sh), the same suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, then every fuzz target for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
export TZ=UTC
jobs=$(nproc)

echo "== format check"
bash scripts/format-check.sh

echo "== plain build"
bash scripts/build.sh plain
(cd build && ctest --output-on-failure -j "$jobs")

echo "== install check (scratch prefix, normal user, Debian package)"
bash scripts/install-check.sh build

echo "== sanitizer build (ASan + UBSan)"
bash scripts/build.sh asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j "$jobs")

echo "== fuzz smoke runs"
bash scripts/build.sh fuzz
seconds=${LARDERLY_FUZZ_SECONDS:-8}
fuzz_fail=0
fuzz_count=0
while read -r f; do
  [ -n "$f" ] || continue
  fuzz_count=$((fuzz_count + 1))
  corpus="$root/fuzz/corpus/$f"
  work=$(mktemp -d)
  seeds=()
  [ -d "$corpus" ] && seeds=("$corpus")
  # The import readers start from every import test file (any reader may be handed any file).
  case "$f" in fuzz_import_*) seeds+=("$root/tests/data/import") ;; esac
  if "build-fuzz/bin/$f" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=0 "$work" "${seeds[@]}" >"$work.log" 2>&1; then
    echo "fuzz $f: ok"
  else
    echo "fuzz $f: FAILED"; tail -n 40 "$work.log"; fuzz_fail=$((fuzz_fail + 1))
  fi
  rm -rf "$work" "$work.log"
done < build-fuzz/fuzzers.txt
echo "fuzz: $((fuzz_count - fuzz_fail)) passed, $fuzz_fail failed"
[ "$fuzz_fail" -eq 0 ]
