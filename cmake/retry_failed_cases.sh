#!/usr/bin/env bash
# retry_failed_cases.sh <GoogleTest program and its arguments...>
# Runs the program; when some of its cases fail, runs those cases once more, alone. Real
# processes and windows under Wine on a busy machine now and then miss a deadline that a second
# run keeps, while a fault fails both runs. Both runs stay in the test's output. A run that ends
# without its summary (a crash, a hang cut short) gets no second run.
set -o pipefail

first=$(mktemp) || exit 1
trap 'rm -f "$first"' EXIT
"$@" 2>&1 | tee "$first" && exit 0

failed=$(sed -n 's/^\[  FAILED  \] \([A-Za-z0-9_/]*\.[A-Za-z0-9_/]*\).*/\1/p' "$first" | sort -u | paste -sd: -)
grep -q '^\[==========\] .* ran\.' "$first" && [ -n "$failed" ] || exit 1
echo "== first run failed in $failed: running those cases once more"
"$@" --gtest_filter="$failed"
