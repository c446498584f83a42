#!/usr/bin/env bash
# retry_failed_cases.sh <GoogleTest program and its arguments...>
# Runs the program. When cases fail only because a process of theirs did not start (the case says
# "... did not start, error N"), runs those cases once more, alone: now and then 64-bit Wine fails
# a CreateProcess of a program it started a moment before and starts at once again. Any other
# failure is not retried. The output keeps both runs and ends with "== retried N case(s): ...",
# which scripts/test gathers so that a rising rate shows. A run that ends without its summary (a
# crash, a hang cut short) gets no second run.
set -o pipefail

first=$(mktemp) || exit 1
trap 'rm -f "$first"' EXIT
"$@" 2>&1 | tee "$first" && exit 0
grep -q '^\[==========\] .* ran\.' "$first" || exit 1

# The failed cases, each with whether one of its processes did not start. Windows programs end
# their lines with CR LF.
verdicts=$(awk '                              { sub(/\r$/, "") }
                /^\[ RUN      \] /          { started = 0 }
                /did not start, error /       { started = 1 }
                /^\[  FAILED  \] .* ms\)$/    { name = $4; sub(/,$/, "", name); print name, started + 0 }' "$first")
[ -n "$verdicts" ] || exit 1
unexplained=$(awk '$2 == 0 { print $1 }' <<<"$verdicts" | paste -sd' ' -)
if [ -n "$unexplained" ]; then
  echo "== not retried: $unexplained failed with all their processes started"
  exit 1
fi
failed=$(awk '{ print $1 }' <<<"$verdicts" | paste -sd: -)
echo "== a process did not start in $failed: running those cases once more"
"$@" --gtest_filter="$failed"
status=$?
outcome=$([ $status -eq 0 ] && echo "passed the second time" || echo "failed again")
echo "== retried $(wc -l <<<"$verdicts") case(s): ${failed//:/, } ($outcome)"
exit $status
