#!/usr/bin/env bash
# The scale-out of docs/scale-out.md on one machine: GNU parallel runs the shards of a
# generated folder, `ferolan-cli merge` joins them, and the tables and JSON Lines are those of
# one run over the whole folder, byte for byte.
set -euo pipefail
cli=$1
make_acids_src=$2
command -v parallel >/dev/null || { echo "GNU parallel is not installed (tools/install-deps.sh)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
g++ -std=c++20 -O1 "$make_acids_src" -o make_acids
./make_acids --bench 12 acids >/dev/null
"$cli" acids --search auto --no-timing --quiet --summary whole.csv --json-lines whole.jsonl \
  >/dev/null
n=4
parallel --will-cite --halt now,fail=1 -j 2 \
  "$cli" acids --search auto --no-timing --quiet --jobs 1 --shard {}/$n \
  --summary part{}.csv --json-lines part{}.jsonl ">/dev/null" ::: $(seq 1 $n)
"$cli" merge merged.csv $(for k in $(seq 1 $n); do echo part$k.csv; done)
"$cli" merge merged.jsonl $(for k in $(seq 1 $n); do echo part$k.jsonl; done)
cmp whole.csv merged.csv
cmp whole.jsonl merged.jsonl
[ "$(wc -l <whole.jsonl)" -eq 12 ]
echo "4 shards by GNU parallel, merged: identical to one run"
