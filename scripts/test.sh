#!/usr/bin/env bash
# Installs the dependencies, builds Tessaly and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 600
