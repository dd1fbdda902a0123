#!/usr/bin/env bash
# The main job on a small built-in example: installs the dependencies, builds Tessaly,
# then builds an example project in memory and prints the state of every frame
# (shift curve, cuts, double shift, options, chapter). Rendering comes later.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
./build/bin/tessaly-cli example "$@"
