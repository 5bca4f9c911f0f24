#!/usr/bin/env bash
# Sets everything up, builds and starts the program. Its data lives beside the program
# (build/bin/data, created empty on the first start) unless LARDERLY_HOME says otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh plain
exec build/bin/larderly "$@"
