#!/usr/bin/env bash
# The main job: installs what is missing, builds TarnelTools, registers the
# library in the user's registry store and runs the demo script on an
# embedded SQLite database.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNEL_TEST_OBJECTS=OFF -DTARNEL_BENCH=OFF >/dev/null
cmake --build build/release --target tarnelhost TarnelTools
build/release/tarnelhost --regsvr build/release/TarnelTools.so
exec build/release/tarnelhost --debug-output examples/demo.lua "$@"
