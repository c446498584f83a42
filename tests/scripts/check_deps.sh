#!/usr/bin/env bash
# The set-up logic of scripts/deps and scripts/lib/machine.sh, driven through stand-in apt-get,
# dpkg-query, dpkg and sudo commands on a pretend machine whose kernel runs 32-bit programs: no
# network, nothing installed. Each case lays out what is installed and how apt fails, runs
# scripts/deps and checks its exit code and messages.
set -uo pipefail

deps=$(cd "$(dirname "$0")/../../scripts" && pwd)/deps
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The stand-ins keep their state in $FAKE: the installed packages, one a line, and the count of
# apt-get update calls. FAKE_UPDATE_FAILS is how many updates fail (or "always"), one index each;
# FAKE_BROKEN lists packages whose install fails as with a missing index.
mkdir -p "$work/bin"
cat >"$work/bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
case $1 in
  update)
    echo x >>"$FAKE/updates"
    if [ "$FAKE_UPDATE_FAILS" = always ] || [ "$(wc -l <"$FAKE/updates")" -le "$FAKE_UPDATE_FAILS" ]; then
      echo "E: Failed to fetch http://mirror.test/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress? [IP: 192.0.2.1 80]" >&2
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
      exit 100
    fi ;;
  install)
    shift
    for p in "$@"; do
      [[ $p == -* ]] && continue
      if [[ " $FAKE_BROKEN " == *" $p "* ]]; then
        echo "E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages." >&2
        exit 100
      fi
    done
    for p in "$@"; do
      [[ $p == -* ]] || echo "$p" >>"$FAKE/installed"
      [ "$p" != wine32:i386 ] || "$FAKE/make_wine" 0
    done ;;
esac
STANDIN
cat >"$work/bin/dpkg-query" <<'STANDIN'
#!/usr/bin/env bash
grep -qx -- "${!#}" "$FAKE/installed" 2>/dev/null && echo "install ok installed"
STANDIN
printf '#!/bin/sh\necho i386\n' >"$work/bin/dpkg"
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin"/*

# make_wine <exit code of the loader>: Debian's 32-bit Wine, starting or not.
mkdir -p "$work/fake"
cat >"$work/fake/make_wine" <<'STANDIN'
#!/bin/sh
mkdir -p "$CORVANE_WINE_DIR"
printf '#!/bin/sh\nexit %s\n' "$1" >"$CORVANE_WINE_DIR/wine"
printf '#!/bin/sh\n' >"$CORVANE_WINE_DIR/wineserver32"
chmod +x "$CORVANE_WINE_DIR/wine" "$CORVANE_WINE_DIR/wineserver32"
STANDIN
chmod +x "$work/fake/make_wine"

every_package() {
  sed -n '/^packages=(/,/^)/p' "$deps" | sed '1d;$d' | tr ' ' '\n' | sed '/^$/d'
  echo wine32:i386
}

failures=0
# case <name> <installed: all|none> <wine: none|starts|broken> <update failures> <broken packages>
#      <expected exit code> <expected apt-get update calls> <expected lines (extended regexps)>...
case_() {
  local name=$1 installed=$2 wine=$3 fails=$4 broken=$5 want_status=$6 want_updates=$7
  shift 7
  export FAKE="$work/fake" FAKE_UPDATE_FAILS=$fails FAKE_BROKEN=$broken
  export CORVANE_I386=native CORVANE_WINE_DIR="$work/fake/wine" CORVANE_APT_UPDATE_PAUSE_S=0
  rm -rf "$FAKE/wine" "$FAKE/installed" "$FAKE/updates"
  touch "$FAKE/installed" "$FAKE/updates"
  [ "$installed" = none ] || every_package >"$FAKE/installed"
  case $wine in
    starts) "$FAKE/make_wine" 0 ;;
    broken) "$FAKE/make_wine" 1 ;;
  esac
  local out status expected
  out=$(PATH="$work/bin:$PATH" bash "$deps" 2>&1)
  status=$?
  local ok=1
  [ "$status" -eq "$want_status" ] || ok=0
  [ "$(wc -l <"$FAKE/updates")" -eq "$want_updates" ] || { ok=0; echo "   apt-get update ran $(wc -l <"$FAKE/updates") times, expected $want_updates"; }
  for expected in "$@"; do
    grep -Eq -- "$expected" <<<"$out" || { ok=0; echo "   missing: $expected"; }
  done
  if [ $ok -eq 1 ]; then
    echo "ok   $name"
  else
    echo "FAIL $name (exit $status, expected $want_status); its output:"
    sed 's/^/   | /' <<<"$out"
    failures=$((failures + 1))
  fi
}

usable='^machine: 32-bit Wine is usable'
case_ "everything present" all starts 0 "" 0 0 "$usable"
case_ "update fails once" none none 1 "" 0 2 \
  '^deps: apt-get update failed \(try 1 of 3\)' "$usable"
case_ "one index fails for good" none none always "" 0 3 \
  '^deps: package indices still failing after 3 tries, going on without them: http://mirror.test/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz$' \
  "$usable"
case_ "wine32:i386 cannot be installed" none none always "wine32:i386" 0 3 \
  '^deps: 32-bit Wine cannot be installed, going on without it: Error, pkgProblemResolver' \
  '^machine: 32-bit Wine is not usable \(32-bit Wine \(wine32:i386\) is not installed\): the win64 build'
case_ "32-bit Wine installed but does not start" all broken 0 "" 0 0 \
  '^machine: 32-bit Wine is not usable \(32-bit Wine is installed but does not start\)'
case_ "a needed package cannot be installed" none none 0 "cmake" 1 1 \
  '^deps: cannot install cmake: Error, pkgProblemResolver' '^deps: a package the build needs is missing'

echo "$failures failed"
[ $failures -eq 0 ]
