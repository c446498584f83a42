#!/usr/bin/env bash
# Processor time of Setup.exe while the runtime holds it with its splash closed, measured from
# the host (Wine does not report another process's times to Windows programs): the stand-in
# dismisses the splash, answers one query and sleeps; the bootstrapper stays held and polls every
# 100 ms. Prints the share of one core over 10 s. Run by hand after a win32 (or win64) build:
#   bench/launcher/held_processor_time.sh [win32|win64]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
. scripts/lib/machine.sh
. scripts/lib/wine.sh
build=${1:-win32}
held_s=10

medium=$(mktemp -d)
trap 'corvane_wine_stop; rm -rf "$medium"' EXIT
mkdir -p "$medium/setup"
cp "build/$build/launcher/Setup.exe" "$medium/"
cp "build/$build/tools/Lumeplay.exe" "$medium/setup/"
# The runtime stays in the group while it sleeps: one that has ended would leave nobody to release
# the bootstrapper, which then ends with its splash.
printf 'close-splash\nquery\nsleep 20000\nrelease\n' >"$medium/setup/Lumeplay.script"

corvane_wine_start "$root" "$build"
(cd "$medium" && exec "$WINELOADER" Setup.exe >/dev/null 2>&1) &
setup=$!
for _ in $(seq 1 300); do
  grep -q "step 3: sleep" "$medium/setup/Lumeplay.log" 2>/dev/null && break
  sleep 0.1
done
grep -q "step 3: sleep" "$medium/setup/Lumeplay.log" || { echo "the runtime did not play its script" >&2; exit 1; }
sleep 1
# Each poll of the message queue is a call to the wineserver, which counts separately.
server=$(pgrep -n -f "^$WINESERVER" || true)
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
report() {
  awk -v t="$2" -v hz="$(getconf CLK_TCK)" -v s=$held_s -v what="$1" \
    'BEGIN { printf "%s: %.2f %% of one core over %d s (%d ticks)\n", what, 100 * t / hz / s, s, t }'
}
before=$(ticks $setup)
server_before=$([ -n "$server" ] && ticks "$server" || echo 0)
sleep $held_s
after=$(ticks $setup)
server_after=$([ -n "$server" ] && ticks "$server" || echo 0)
kill -0 $setup 2>/dev/null || { echo "Setup.exe was not held" >&2; exit 1; }
report "Setup.exe held, splash closed" $((after - before))
[ -z "$server" ] || report "the wineserver meanwhile (all its clients)" $((server_after - server_before))
