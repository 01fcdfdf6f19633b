#!/usr/bin/env bash
# The typical query's speed: builds a SQLite table of 100,000 rows of five
# columns, then walks it three ways that print the same text, one field at
# a time: (a) a Lua script through tarnelhost with AdoNext and AdoGetField
# per field, (b) the same walk written against the raw SQLite API in C,
# (c) Python's sqlite3 module. Each runs RUNS times (default 10), in turns;
# the best time counts.
# Prints the times and the ratios of (a) to (b) and (a) to (c), after
# checking that the three outputs are identical.
# Usage: bench/typical_query_bench.sh [BUILD_DIR]   (default build/release,
# configured for Release when new; brought up to date before the runs).
# ROWS overrides the number of rows.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
rows=${ROWS:-100000}

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNEL_TEST_OBJECTS=OFF -DTARNEL_BENCH=OFF >/dev/null
fi
# Brought up to date first, so that the figures are the source's.
cmake --build "$build" --target tarnelhost TarnelTools >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/bench.db" "$rows" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT, price REAL, qty INTEGER, note TEXT)")
# Prices always have a fractional part, so that every walk writes a number
# the same way.
db.executemany("INSERT INTO items VALUES (?, ?, ?, ?, ?)",
               ((i, "item%06d" % i, i + 0.5, (i * 7) % 1000, "note for item %d" % i)
                for i in range(1, int(sys.argv[2]) + 1)))
db.commit()
db.close()
PY

cc -O2 -o "$work/raw_sqlite_walk" bench/typical_query/raw_sqlite_walk.c -lsqlite3
host="$build/tarnelhost --registry $work/registry.db"
$host --regsvr "$build/TarnelTools.so" >/dev/null

# The three walks run in turns, RUNS rounds (default 10), so that a slow
# spell of a shared machine hits all of them alike; each walk's best wall
# time counts. Standard output goes to the walk's file.
runs=${RUNS:-10}
declare -A best
walk() {
  local name=$1 output=$2 t0 t1 t
  shift 2
  t0=$(date +%s.%N)
  "$@" >"$output"
  t1=$(date +%s.%N)
  t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }')
  if [[ -z "${best[$name]:-}" ]] || awk -v t="$t" -v b="${best[$name]}" 'BEGIN { exit !(t < b) }'; then
    best[$name]=$t
  fi
}
for _ in $(seq "$runs"); do
  walk lua "$work/lua.txt" $host bench/typical_query/typical_query_walk.lua "$work/bench.db"
  walk raw "$work/raw.txt" "$work/raw_sqlite_walk" "$work/bench.db"
  walk py "$work/py.txt" python3 bench/typical_query/python_walk.py "$work/bench.db"
done
lua_t=${best[lua]} raw_t=${best[raw]} py_t=${best[py]}
printf '%-34s %8.3f s\n' "(a) tarnelhost typical query" "$lua_t" "(b) raw SQLite API (C)" "$raw_t" \
  "(c) Python sqlite3" "$py_t" >&2

cmp "$work/lua.txt" "$work/raw.txt"
cmp "$work/lua.txt" "$work/py.txt"
echo "$(wc -l <"$work/lua.txt") rows, identical output from all three walks"
awk -v a="$lua_t" -v b="$raw_t" 'BEGIN { printf "tarnelhost / raw SQLite: %.2f (goal: at most 3)\n", a / b }'
awk -v a="$lua_t" -v c="$py_t" 'BEGIN { printf "tarnelhost / Python:     %.2f (goal: below 1)\n", a / c }'
