#!/usr/bin/env bash
# The mutation check of the group fuzzer. Each patch here puts back a fault of a kind that the
# group's code has had or must never have; this applies it to a copy of the sources
# (build/mutants/src, built in its own host build folder), builds ipc_group_fuzzer there and fuzzes
# it from the committed corpus until it fails or the limit has passed. It prints one line per
# fault: found after how many seconds, and how, or not found. The input that found a fault is run
# again on the unchanged code, where it must pass: otherwise it is a false alarm, not a finding. It
# exits non-zero when a fault was not found or a finding was a false alarm. Runnable on demand;
# one mutant at a time, each building only the files its patch touches.
#
#   fuzz/mutations/run.sh [--limit SECONDS] [--corpus DIR] [PATCH...]
#
# By default every patch, 600 s each, from fuzz/ipc/corpus/ipc_group_fuzzer.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
limit=600
corpus=$root/fuzz/ipc/corpus/ipc_group_fuzzer
while [ $# -gt 0 ]; do
  case $1 in
    --limit) limit=$2; shift 2 ;;
    --corpus) corpus=$(cd "$2" && pwd); shift 2 ;;
    *) break ;;
  esac
done
patches=("$@")
[ ${#patches[@]} -gt 0 ] || patches=("$root"/fuzz/mutations/*.patch)
work=$root/build/mutants
src=$work/src
fuzzer=$src/build/host/fuzz/ipc/ipc_group_fuzzer
unchanged=$work/unchanged_ipc_group_fuzzer
# LeakSanitizer is off: it cannot run under an emulator, and a leak is no fault listed here.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}

# The working tree's sources; a file that differs is written anew (so a file a patch had changed
# is rebuilt), the others keep their times.
copy_sources() {
  local file
  (cd "$root" && git ls-files -z --cached --others --exclude-standard) | while IFS= read -r -d '' file; do
    if [ -f "$root/$file" ] && ! cmp -s "$root/$file" "$src/$file"; then
      mkdir -p "$(dirname "$src/$file")"
      cp "$root/$file" "$src/$file"
    fi
  done
}

# Prints how the fuzzer failed: the oracle's rule or the sanitizer's summary.
finding() {
  grep -m1 -hE '==group oracle==|^SUMMARY: ' "$1" | sed -e 's/^==group oracle== //' -e 's/^SUMMARY: //'
}

build_fuzzer() {
  (cd "$src" && cmake --preset host >"$1/configure.log" 2>&1 &&
    nice -n 10 cmake --build --preset host -j2 --target ipc_group_fuzzer >"$1/build.log" 2>&1)
}

# Whether the finding's input passes on the unchanged code, in words.
on_unchanged() {
  if "$unchanged" "$1" >"$1.unchanged.log" 2>&1; then
    echo "passes on the unchanged code"
  else
    echo "ALSO FAILS ON THE UNCHANGED CODE ($1.unchanged.log)"
    return 1
  fi
}

run_mutant() {
  local name out start elapsed artifact
  name=$(basename "$1" .patch)
  out=$work/runs/$name
  rm -rf "$out" && mkdir -p "$out"
  copy_sources
  # Not git apply: inside this repository's build folder it would skip every path silently.
  patch -d "$src" -p1 --batch --forward --quiet <"$1" || { printf '%-36s does not apply\n' "$name"; return 1; }
  build_fuzzer "$out" || { printf '%-36s does not build (%s)\n' "$name" "$out/build.log"; return 1; }
  start=$(date +%s)
  (cd "$out" && timeout $((limit + 120)) "$root/cmake/run_fuzz_test.sh" "$corpus" "$out" "$fuzzer" \
    -max_total_time="$limit" -timeout=60 -reduce_inputs=0 -artifact_prefix="$out/" >/dev/null 2>&1) || true
  elapsed=$(($(date +%s) - start))
  artifact=$(find "$out" -maxdepth 1 -name 'crash-*' -o -name 'timeout-*' -o -name 'leak-*' -o -name 'oom-*' | head -n 1)
  if [ -n "$artifact" ]; then
    local verdict status=0
    verdict=$(on_unchanged "$artifact") || status=1
    printf '%-36s found in %4d s: %s; %s\n' "$name" "$elapsed" "$(finding "$out/log")" "$verdict"
    return $status
  else
    printf '%-36s NOT found in %d s (%s)\n' "$name" "$elapsed" "$out/log"
    return 1
  fi
}

mkdir -p "$work/unchanged"
copy_sources
build_fuzzer "$work/unchanged" || { echo "the unchanged fuzzer does not build ($work/unchanged/build.log)"; exit 1; }
cp "$fuzzer" "$unchanged"
missed=0
for patch in "${patches[@]}"; do
  run_mutant "$patch" || missed=1
done
copy_sources
exit $missed
