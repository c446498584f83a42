#!/usr/bin/env bash
# The set-up logic of scripts/deps and scripts/lib/machine.sh, driven through stand-in apt-get,
# dpkg-query, dpkg, sudo, debootstrap, unshare, mount and chroot on a pretend machine whose kernel
# runs 32-bit programs: no network.
set -uo pipefail

deps=$(cd "$(dirname "$0")/../../scripts" && pwd)/deps
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export FAKE=$work CORVANE_WINE_DIR=$work/wine CORVANE_APT_UPDATE_PAUSE_S=0 CORVANE_CACHE=$work/cache \
  CORVANE_APT_DIR=$work/apt CORVANE_I386 FAKE_ROOT_FAILS

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
# debootstrap lays out the folders the root's set-up writes to, or fails (FAKE_ROOT_FAILS); the
# namespace runs its command here, and nothing is mounted or run in the root.
cat >"$work/bin/debootstrap" <<'STANDIN'
#!/usr/bin/env bash
echo "$*" >>"$FAKE/debootstrap"
[ -z "$FAKE_ROOT_FAILS" ] || { echo "E: Couldn't download packages" >&2; exit 1; }
mkdir -p "${@: -2:1}"/{etc/apt/apt.conf.d,usr/sbin}
STANDIN
printf '#!/bin/sh\nwhile [ "${1#-}" != "$1" ]; do shift; done\nexec "$@"\n' >"$work/bin/unshare"
printf '#!/bin/sh\n' | tee "$work/bin/mount" >"$work/bin/chroot"
chmod +x "$work/bin"/*
export PATH="$work/bin:$PATH"

# What a case starts from besides its packages, given by name: a run of scripts/deps before it,
# a day ago or with other apt sources; a root left half made; one-line apt sources; a root that
# cannot be made; a kernel that runs 32-bit programs only through emulation.
given_again() { bash "$deps" >/dev/null 2>&1; : >"$FAKE/updates" && : >"$FAKE/debootstrap"; }
given_a_day_ago() { given_again; sed -i "s/^[0-9]*/$(($(date +%s) - 90000))/" "$CORVANE_CACHE/tries/wine32:i386"; }
given_other_sources() { given_again; echo "deb-src http://mirror.test/debian bookworm main" >"$work/apt/sources.list.d/src.list"; }
given_half_root() { mkdir -p "$CORVANE_CACHE/i386-root/etc"; }
given_list_sources() {
  rm "$work/apt/sources.list.d/debian.sources"
  printf 'deb [arch=amd64] http://list.test/debian %s main\n' bookworm bookworm-updates bookworm-security >"$work/apt/sources.list"
}
given_root_fails() { FAKE_ROOT_FAILS=1; }
given_emulated() { CORVANE_I386=emulated; }

failures=0
# check <name> <given: -|names,...> <installed: all|none> <wine: none|0 (starts)|1 (does not)>
#       <update failures> <broken packages> <exit code> <apt-get update calls> <roots made>
#       <expected lines (extended regexps)>...
check() {
  local name=$1 wine=$4 status out expected given ok=1
  export FAKE_UPDATE_FAILS=$5 FAKE_BROKEN=$6
  CORVANE_I386=native FAKE_ROOT_FAILS=
  rm -rf "$CORVANE_WINE_DIR" "$CORVANE_CACHE" "$work/apt" && mkdir -p "$work/apt/sources.list.d"
  printf 'Types: deb\nURIs: http://mirror.test/debian%s\nSuites: %s\nComponents: main\n\n' \
    "" "bookworm bookworm-updates" -security bookworm-security >"$work/apt/sources.list.d/debian.sources"
  : >"$FAKE/installed" && : >"$FAKE/updates" && : >"$FAKE/debootstrap"
  [ "$3" = none ] || { sed -n '/^packages=(/,/^)/p' "$deps" | sed '1d;$d' | tr -s ' ' '\n' | sed '/^$/d'; echo wine32:i386; } >"$FAKE/installed"
  [ "$wine" = none ] || make_wine "$wine"
  for given in ${2//,/ }; do [ "$given" = - ] || "given_$given"; done
  out=$(bash "$deps" 2>&1)
  status=$?
  [ $status -eq "$7" ] && [ "$(wc -l <"$FAKE/updates")" -eq "$8" ] && [ "$(wc -l <"$FAKE/debootstrap")" -eq "$9" ] || ok=0
  for expected in "${@:10}"; do grep -Eq -- "$expected" <<<"$out" || ok=0; done
  [ $ok -eq 1 ] && echo "ok   $name" && return
  echo "FAIL $name (exit $status, $(wc -l <"$FAKE/updates") updates, $(wc -l <"$FAKE/debootstrap") roots made;" \
    "expected $7, $8, $9, ${*:10}):"
  sed 's/^/   | /' <<<"$out"
  failures=$((failures + 1))
}

usable='^machine: 32-bit Wine is usable'
unusable='^machine: 32-bit Wine is not usable \(32-bit Wine \(wine32:i386\) is not installed\): the win64 build'
in_root='^machine: 32-bit Wine is not usable on the host \(32-bit Wine \(wine32:i386\) is not installed\) but in the i386 root'
tried='^deps: installing wine32:i386'
check "everything present" - all 0 0 "" 0 0 0 "$usable"
check "update fails once" - none none 1 "" 0 2 0 '^deps: apt-get update failed \(try 1 of 3\)' "$usable"
check "one index fails for good" - none none always "" 0 3 0 "$usable" \
  '^deps: package indices still failing after 3 tries, going on without them: http://mirror.test/dists/bookworm/main/binary-i386/Packages.xz$'
check "wine32:i386 cannot be installed: the i386 root is made" - none none always wine32:i386 0 3 1 \
  '^deps: 32-bit Wine cannot be installed on the host: Error, pkgProblemResolver' "$in_root" \
  "^deps: making the i386 root $CORVANE_CACHE/i386-root from http://mirror.test/debian bookworm bookworm-updates "
check "a second run reuses the failed try and the root" again none none always wine32:i386 0 0 0 "$in_root" \
  '^deps: reusing the try of wine32:i386 at .*, which failed \(Error, pkgProblemResolver' '^deps: reusing the i386 root'
check "a try a day old is made again" a_day_ago none none always wine32:i386 0 3 0 "$tried" "$in_root"
check "a try with other apt sources is made again" other_sources none none always wine32:i386 0 3 0 "$tried" "$in_root"
check "a root left half made is made again" half_root,list_sources none none always wine32:i386 0 3 1 "$in_root" \
  '^deps: the i386 root was left half made; making it again' 'from http://list.test/debian bookworm bookworm-updates '
check "the root cannot be made" root_fails none none always wine32:i386 0 3 1 "$unusable" \
  "^deps: the i386 root cannot be made, going on without it: E: Couldn't download packages"
no32='^machine: 32-bit Wine is not usable \(this kernel cannot run 32-bit programs\)'
check "a kernel without 32-bit programs makes no root" emulated none none always wine32:i386 0 3 0 "$no32"
check "a kernel without 32-bit programs uses no root" again,emulated none none always wine32:i386 0 0 0 "$no32"
check "32-bit Wine installed but does not start" - all 1 0 "" 0 0 0 \
  '^machine: 32-bit Wine is not usable \(32-bit Wine is installed but does not start\)'
check "a needed package cannot be installed" - none none 0 cmake 1 1 0 \
  '^deps: cannot install cmake: Error, pkgProblemResolver' '^deps: a package the build needs is missing'

echo "$failures failed"
[ $failures -eq 0 ]
