#!/usr/bin/env bash
# Checks that every C++ source and header follows the repository's .clang-format. Run by the
# test command; `bash scripts/format-check.sh --fix` formats them in place.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! out=$(clang-format --dry-run --Werror "${files[@]}" 2>&1); then
  echo "$out" | grep -E '(warning|error):' | cut -d: -f1 | sort -u | sed 's/^/format-check: not formatted: /'
  echo "format-check: run 'bash scripts/format-check.sh --fix'"
  exit 1
fi
echo "format-check: ${#files[@]} files formatted"
