#!/usr/bin/env bash
# The whole test suite: installs what is missing, starts a throwaway
# PostgreSQL server on loopback for the database tests, builds everything
# with AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test
# through CTest. Exits non-zero when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=build/asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARNEL_SANITIZE=ON >/dev/null
cmake --build "$build"

pg_env=$(scripts/pg-test-server.sh start)
trap 'scripts/pg-test-server.sh stop >/dev/null 2>&1 || true' EXIT
eval "$pg_env"
export TARNEL_PG_CONN
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j2
