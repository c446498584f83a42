#!/usr/bin/env bash
# run_fuzz_test.sh [--expect-hang] CORPUS SCRATCH PROGRAM [libFuzzer flags...]
# Runs a libFuzzer target from the committed inputs in CORPUS (PROGRAM may have an emulator in
# front). They are named one by one in a list (-seed_inputs=@LIST), not handed over as a folder:
# a 32-bit libFuzzer lists folders with a 32-bit readdir, which fails under qemu's emulation on
# ext4 (EOVERFLOW), and the corpus was then never read. The test fails unless libFuzzer says it
# read every committed input. New inputs go to SCRATCH/inputs, emptied first, so that every run
# starts from the committed inputs alone.
# With --expect-hang the test passes only if the fuzz watchdog ended the run with its hang report
# and wrote the hung input, one of the committed ones, to the file the report names.
set -uo pipefail

expect_hang=0
if [ "${1:-}" = --expect-hang ]; then
  expect_hang=1
  shift
fi
corpus=$1 scratch=$2
shift 2

fail() {
  echo "fuzz test failed: $*"
  exit 1
}

mapfile -t committed < <(find "$corpus" -type f | sort)
[ ${#committed[@]} -gt 0 ] || fail "no committed inputs in $corpus"
for input in "${committed[@]}"; do
  [[ $input != *,* ]] || fail "libFuzzer would split the input's name at its comma: $input"
done

rm -rf "$scratch/inputs"
mkdir -p "$scratch/inputs" || exit 1
(IFS=,; printf %s "${committed[*]}") >"$scratch/seed_inputs"  # no newline: it would end the last name
log=$scratch/log
"$@" -seed_inputs=@"$scratch/seed_inputs" "$scratch/inputs" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}

taken=$(sed -n 's/^INFO: seed corpus: files: \([0-9]*\) .*/\1/p' "$log" | tail -n 1)
[ "${taken:-0}" -eq ${#committed[@]} ] ||
  fail "libFuzzer read ${taken:-0} of the ${#committed[@]} committed inputs in $corpus (an empty file is not read)"

if [ $expect_hang -eq 0 ]; then
  ! grep -q '^SUMMARY: libFuzzer: timeout' "$log" || fail "an input hung: see the hang report above"
  [ "$status" -eq 0 ] || fail "the fuzzer ended with status $status"
  exit 0
fi
grep -q '^fuzz watchdog: ' "$log" || fail "no hang report of the fuzz watchdog (status $status)"
[ "$status" -eq 70 ] || fail "status $status after a hang report, not libFuzzer's timeout status 70"
artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
for input in "${committed[@]}"; do
  [ -f "$artifact" ] && cmp -s "$input" "$artifact" && exit 0
done
fail "the hang report names no copy of a committed input: '$artifact'"
