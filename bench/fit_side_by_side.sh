#!/bin/bash
# The fit of two builds side by side: runs each fit_bench given in turn ROUNDS times and prints
# the medians of their best-of-batches figures, relative to the first.
#   bench/fit_side_by_side.sh 7 old/build/bench/fit_bench build/bench/fit_bench
n=$1; shift
out=$(mktemp -d); trap 'rm -rf "$out"' EXIT
for i in $(seq $n); do
  j=0
  for bin in "$@"; do
    "$bin" --benchmark_filter=NONE 2>/dev/null | sed 's/\x1b\[[0-9;]*m//g' > $out/$j.$i.txt
    j=$((j+1))
  done
done
/usr/bin/python3 - $out $n "$@" <<'PY'
import re,sys,statistics as st
out,n,bins=sys.argv[1],int(sys.argv[2]),sys.argv[3:]
rows={}
for j,b in enumerate(bins):
  for i in range(1,n+1):
    step=None
    for line in open(f"{out}/{j}.{i}.txt"):
      m=re.match(r"fit_step\s+(\d+), best of batches",line)
      if m: step=m.group(1); kind='one'
      elif 'two at a time' in line and step: kind='pair'
      else: continue
      for k,v in re.findall(r"(portable|sse2|avx2|avx512) ([\d.]+) us",line):
        rows.setdefault((step,kind,k),{}).setdefault(j,[]).append(float(v))
for key,v in sorted(rows.items()):
  base=st.median(v[0])
  s=f"step {key[0]:>2} {key[1]:4s} {key[2]:8s}"
  for j in range(len(bins)):
    m=st.median(v[j]); s+=f"  {m:8.3f} ({100*(m/base-1):+5.1f} %, min {min(v[j]):.3f})"
  print(s)
PY
