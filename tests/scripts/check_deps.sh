#!/usr/bin/env bash
# The set-up logic of scripts/deps and scripts/lib/machine.sh, driven through stand-in apt-get,
# dpkg-query, dpkg and sudo on a pretend machine whose kernel runs 32-bit programs: no network.
set -uo pipefail

deps=$(cd "$(dirname "$0")/../../scripts" && pwd)/deps
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export FAKE=$work CORVANE_I386=native CORVANE_WINE_DIR=$work/wine CORVANE_APT_UPDATE_PAUSE_S=0

# State in $FAKE: installed (a package a line) and updates (a line a call). FAKE_UPDATE_FAILS
# updates fail (or "always"); installing a package of FAKE_BROKEN fails as with a missing index.
mkdir "$work/bin"
cat >"$work/bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
if [ "$1" = update ]; then
  echo x >>"$FAKE/updates"
  [ "$FAKE_UPDATE_FAILS" = always ] || [ "$(wc -l <"$FAKE/updates")" -le "$FAKE_UPDATE_FAILS" ] || exit 0
  echo "E: Failed to fetch http://mirror.test/dists/bookworm/main/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?" >&2
  exit 100
fi
packages=$(printf '%s\n' "${@:2}" | grep -v '^-')
for p in $packages; do
  [[ " $FAKE_BROKEN " != *" $p "* ]] || { echo "E: Error, pkgProblemResolver::Resolve generated breaks" >&2; exit 100; }
done
echo "$packages" >>"$FAKE/installed"
! grep -qx wine32:i386 <<<"$packages" || make_wine 0
STANDIN
cat >"$work/bin/make_wine" <<'STANDIN'
#!/bin/sh
mkdir -p "$CORVANE_WINE_DIR" && cd "$CORVANE_WINE_DIR" && printf '#!/bin/sh\nexit %s\n' "$1" >wine &&
  cp wine wineserver32 && chmod +x wine wineserver32
STANDIN
printf '#!/usr/bin/env bash\ngrep -qx -- "${!#}" "$FAKE/installed" && echo "install ok installed"\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\necho i386\n' >"$work/bin/dpkg"
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin"/*
export PATH="$work/bin:$PATH"

failures=0
# check <name> <installed: all|none> <wine: none|0 (starts)|1 (does not)> <update failures>
#       <broken packages> <exit code> <apt-get update calls> <expected lines (extended regexps)>...
check() {
  local name=$1 wine=$3 status out expected ok=1
  export FAKE_UPDATE_FAILS=$4 FAKE_BROKEN=$5
  rm -rf "$CORVANE_WINE_DIR" && : >"$FAKE/installed" && : >"$FAKE/updates"
  [ "$2" = none ] || { sed -n '/^packages=(/,/^)/p' "$deps" | sed '1d;$d' | tr -s ' ' '\n' | sed '/^$/d'; echo wine32:i386; } >"$FAKE/installed"
  [ "$wine" = none ] || make_wine "$wine"
  out=$(bash "$deps" 2>&1)
  status=$?
  [ $status -eq "$6" ] && [ "$(wc -l <"$FAKE/updates")" -eq "$7" ] || ok=0
  for expected in "${@:8}"; do grep -Eq -- "$expected" <<<"$out" || ok=0; done
  [ $ok -eq 1 ] && echo "ok   $name" && return
  echo "FAIL $name (exit $status, $(wc -l <"$FAKE/updates") updates; expected $6, $7, ${*:8}):"
  sed 's/^/   | /' <<<"$out"
  failures=$((failures + 1))
}

usable='^machine: 32-bit Wine is usable'
check "everything present" all 0 0 "" 0 0 "$usable"
check "update fails once" none none 1 "" 0 2 '^deps: apt-get update failed \(try 1 of 3\)' "$usable"
check "one index fails for good" none none always "" 0 3 "$usable" \
  '^deps: package indices still failing after 3 tries, going on without them: http://mirror.test/dists/bookworm/main/binary-i386/Packages.xz$'
check "wine32:i386 cannot be installed" none none always wine32:i386 0 3 \
  '^deps: 32-bit Wine cannot be installed, going on without it: Error, pkgProblemResolver' \
  '^machine: 32-bit Wine is not usable \(32-bit Wine \(wine32:i386\) is not installed\): the win64 build'
check "32-bit Wine installed but does not start" all 1 0 "" 0 0 \
  '^machine: 32-bit Wine is not usable \(32-bit Wine is installed but does not start\)'
check "a needed package cannot be installed" none none 0 cmake 1 1 \
  '^deps: cannot install cmake: Error, pkgProblemResolver' '^deps: a package the build needs is missing'

echo "$failures failed"
[ $failures -eq 0 ]
