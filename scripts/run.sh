#!/usr/bin/env bash
# Builds Orbel Lite and starts the agent in the current desktop session.
# Usage: bash scripts/run.sh [arguments for orbel-lite]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target orbel-lite
exec ./build/orbel-lite "$@"
