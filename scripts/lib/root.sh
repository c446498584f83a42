# Sourced by the scripts: the i386 root, a Debian system of the host's release built of i386
# packages alone, where the product build's Wine tests and the demo run when the host cannot have
# 32-bit Wine.
#
# wine32:i386 installs beside the host's amd64 Wine only while both architectures' indices offer
# the same versions of their shared libraries; when one i386 index fails to download (a mirror in
# the middle of a sync), they disagree and apt finds no solution. Inside a root of one architecture
# every package comes from the same indices, so their versions agree whatever index fails.
# scripts/deps makes it once per machine, in a cache outside any checkout that every clone and CI
# run on the machine share (CORVANE_CACHE moves it, for the set-up test).
corvane_cache=${CORVANE_CACHE:-/var/cache/corvane-setup}
corvane_root=$corvane_cache/i386-root
# What the win32 Wine tests (ctest, the signing check) and the demo (its screenshot) need there.
corvane_root_packages=(wine wine32 xvfb x11-utils imagemagick cmake osslsigncode openssl)
# Written last, with the packages installed: a root without it was left half made.
corvane_root_marker=$corvane_root/.corvane-root

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# True when the root is complete and holds every package of the list.
corvane_root_ready() {
  local p
  [ -f "$corvane_root_marker" ] || return 1
  for p in "${corvane_root_packages[@]}"; do grep -qx -- "$p" "$corvane_root_marker" || return 1; done
}

# The host's Debian sources, "URI SUITE" a line, from both formats: one-line (sources.list,
# *.list) and deb822 (*.sources). CORVANE_APT_DIR stands in for /etc/apt in the set-up test.
corvane_host_sources() {
  local apt=${CORVANE_APT_DIR:-/etc/apt}
  cat "$apt/sources.list" "$apt"/sources.list.d/*.list 2>/dev/null |
    sed 's/\[[^]]*\]//' | awk '$1 == "deb" { print $2, $3 }'
  cat "$apt"/sources.list.d/*.sources 2>/dev/null | awk 'BEGIN { RS = "" } {
    types = ""; uris = ""; suites = ""; enabled = "yes"
    n = split($0, lines, "\n")
    for (i = 1; i <= n; i++) {
      if (lines[i] ~ /^#/ || lines[i] !~ /:/) continue
      key = tolower(substr(lines[i], 1, index(lines[i], ":") - 1))
      value = substr(lines[i], index(lines[i], ":") + 1)
      if (key == "types") types = value; else if (key == "uris") uris = value
      else if (key == "suites") suites = value; else if (key == "enabled") enabled = value
    }
    if (enabled ~ /no/ || (" " types " ") !~ /[ \t]deb[ \t]/) next
    nu = split(uris, u, " "); ns = split(suites, s, " ")
    for (i = 1; i <= nu; i++) for (j = 1; j <= ns; j++) print u[i], s[j]
  }'
}

# The root's mirror and suites, "URI RELEASE [RELEASE-updates]": the first source of a release
# itself (no -updates, -security or -backports), and its updates when the host has them there.
# The security suite stays out: its i386 index is the one that fails while a mirror syncs.
corvane_root_suites() {
  local sources mirror release
  sources=$(corvane_host_sources)
  read -r mirror release < <(awk '$2 ~ /^[a-z]+$/ { print; exit }' <<<"$sources")
  [ -n "${release:-}" ] || return 1
  echo "$mirror $release$(grep -qxF "$mirror $release-updates" <<<"$sources" && echo " $release-updates")"
}

# corvane_root_run [--bind DIR]... COMMAND...: runs COMMAND in the root as the current user, from
# the current folder, with /dev, /proc, /sys, /tmp and each DIR at their own paths. The mounts are
# made in a mount namespace of the run's own, its processes run in a PID namespace of their own:
# however the run ends (done, failed, interrupted), its processes end with it and its mounts go with
# the namespace; none is ever seen outside it.
corvane_root_run() {
  local binds=() user= pass
  while [ "${1:-}" = --bind ]; do binds+=("$2"); shift 2; done
  [ "$(id -u)" -eq 0 ] || user=--userspec=$(id -u):$(id -g)
  # sudo starts with an environment of its own: the run gets ours.
  mapfile -t pass < <(env | grep -E '^(CORVANE_[A-Z0-9_]*|DISPLAY|XAUTHORITY|PATH|HOME|TERM|CI)=')
  local status=0
  # "exit $?" keeps bash from becoming chroot: the namespace's first process ignores Ctrl-C.
  as_root unshare --mount --pid --fork bash -c '
    root=$1 user=$2 cwd=$3; IFS=: read -ra binds <<<"$4"; shift 4
    mount -t proc proc "$root/proc" && mount --rbind /sys "$root/sys" &&
      mount --rbind /dev "$root/dev" && mount --bind /tmp "$root/tmp" || exit 1
    for dir in "${binds[@]}"; do mkdir -p "$root$dir" && mount --bind "$dir" "$root$dir" || exit 1; done
    chroot $user "$root" sh -c "cd \"\$0\" 2>/dev/null || cd /; exec \"\$@\"" "$cwd" "$@"
    exit $?' corvane-root "$corvane_root" "$user" "$PWD" "$(IFS=:; echo "${binds[*]}")" \
    env CORVANE_IN_ROOT=1 "${pass[@]}" "$@" || status=$?
  # Ctrl-C ended the run there, and so it ends the caller, as any program that it ends would.
  [ $status -ne 130 ] || kill -INT $$
  return $status
}

# corvane_root_make URI RELEASE [SUITE]...: makes the root, or completes it; as root, under the
# cache's lock (scripts/deps). Its tools' output goes to a log beside it; a failure is told on one
# line, with apt's or debootstrap's last error.
corvane_root_make() {
  local mirror=$1 release=$2 suite key log=$corvane_cache/i386-root.log
  # Another run made it while this one waited for the lock.
  corvane_root_ready && { echo "deps: another run has made the i386 root meanwhile"; return 0; }
  : >"$log"
  if [ ! -f "$corvane_root_marker" ]; then
    [ ! -e "$corvane_root" ] || echo "deps: the i386 root was left half made; making it again"
    # Its tools mount only within their namespace, so nothing of the host lies below it.
    rm -rf --one-file-system "$corvane_root"
    unshare --mount --pid --fork debootstrap --arch=i386 --variant=minbase "$release" \
      "$corvane_root" "$mirror" >>"$log" 2>&1 || { corvane_root_failure "$log"; return 1; }
    for suite in "${@:2}"; do echo "deb $mirror $suite main"; done >"$corvane_root/etc/apt/sources.list"
    # apt fetches as the host's does (a proxy, an archive snapshot's expired Release files).
    for key in Acquire::http::Proxy Acquire::https::Proxy Acquire::Check-Valid-Until Acquire::Check-Date; do
      apt-config dump --no-empty --format '%f "%v";%n' "$key"
    done >"$corvane_root/etc/apt/apt.conf.d/90host"
    cp /etc/resolv.conf "$corvane_root/etc/resolv.conf"
    # No service starts inside: nothing would stop it.
    printf '#!/bin/sh\nexit 101\n' >"$corvane_root/usr/sbin/policy-rc.d"
    chmod +x "$corvane_root/usr/sbin/policy-rc.d"
  fi
  # An index that fails leaves the others: in one architecture their versions still agree.
  corvane_root_run apt-get update >>"$log" 2>&1 || true
  corvane_root_run env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    "${corvane_root_packages[@]}" >>"$log" 2>&1 || { corvane_root_failure "$log"; return 1; }
  corvane_root_run apt-get clean >>"$log" 2>&1 || true
  printf '%s\n' "made $(date '+%F %R')" "${corvane_root_packages[@]}" >"$corvane_root_marker"
}

# The last error in the log, or its last line, for the failure's one line.
corvane_root_failure() {
  local why
  why=$(grep '^E:' "$1" | tail -n1)
  echo "deps: the i386 root cannot be made, going on without it: ${why:-$(tail -n1 "$1")} (log: $1)"
  return 1
}
