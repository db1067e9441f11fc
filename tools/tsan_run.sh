#!/bin/sh
# The batch tool's threaded paths under ThreadSanitizer (make tsan): several files at a time
# with their pictures, and optimisation sweeps on several threads (three constants at the
# very high level make sweeps large enough to be shared). Any report fails the run.
set -e
build=${1:-build-tsan}
dir=$(mktemp -d /tmp/ferolan-tsan-XXXXXX)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/in"
for k in 1 2 3 4; do cp examples/data.mdf "$dir/in/acid$k.mdf"; done
cli="$build/ferolan-cli"
echo "tsan: --jobs 2 with pictures"
"$cli" "$dir/in" --pk 4,9 --jobs 2 --threads 1 --plots "$dir/plots" --summary "$dir/s1.csv" --quiet >/dev/null
echo "tsan: --threads 2, sweeps shared"
"$cli" "$dir/in/acid1.mdf" --pk 3,6,9 --level very-high --jobs 1 --threads 2 --quiet >/dev/null || [ $? -le 3 ]
echo "tsan: --jobs 2 --threads 2 with pictures and traces"
"$cli" "$dir/in" --pk 4,9 --jobs 2 --threads 2 --plots "$dir/plots2" --trace "$dir/traces" \
  --json-lines "$dir/j.jsonl" --quiet >/dev/null
echo "tsan: the engine's threaded suites"
"$build/tests/engine_tests" --gtest_filter='*Thread*:*thread*:*Parallel*:*Cancel*:*Bootstrap*' >/dev/null
echo "tsan: no report"
