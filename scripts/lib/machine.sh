# Sourced by the scripts: facts about this machine and the environment the tests run in.
#
# Two settings stand in for facts, for the tests of the set-up logic: CORVANE_I386 (native,
# emulated or none) instead of probing the kernel, and CORVANE_WINE_DIR for Debian's Wine folder.
corvane_wine_dir=${CORVANE_WINE_DIR:-/usr/lib/wine}
. "$(dirname "${BASH_SOURCE[0]}")/root.sh"

# True when 32-bit x86 programs run only through qemu's user emulation (scripts/deps registers it
# on kernels without 32-bit user mode). Wine cannot run Windows programs there.
corvane_emulated_i386() {
  [ -z "${CORVANE_I386:-}" ] || { [ "$CORVANE_I386" = emulated ]; return; }
  [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] &&
    grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null
}

# True when the kernel itself runs 32-bit x86 programs: a minimal i386 program (exit(0) through
# int 0x80, 91 bytes) is written out and started. Where the emulation is registered it would run
# through qemu, and scripts/deps registers it only after this probe failed.
corvane_native_i386() {
  [ -z "${CORVANE_I386:-}" ] || { [ "$CORVANE_I386" = native ]; return; }
  corvane_emulated_i386 && return 1
  local probe status
  probe=$(mktemp) || return 1
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5b\x00\x00\x00\x5b\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\x31\xdb\x31\xc0\x40\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  return $status
}

# Why 32-bit Wine cannot run the product build here, or nothing when it can: the kernel must run
# 32-bit programs itself, and Debian's 32-bit loader and server must be installed and start.
corvane_wine32_unusable_reason() {
  if ! corvane_native_i386; then
    echo "this kernel cannot run 32-bit programs"
  elif [ ! -x "$corvane_wine_dir/wine" ] || [ ! -x "$corvane_wine_dir/wineserver32" ]; then
    echo "32-bit Wine (wine32:i386) is not installed"
  elif ! "$corvane_wine_dir/wine" --version >/dev/null 2>&1; then
    echo "32-bit Wine is installed but does not start"
  fi
}

corvane_wine32_usable() {
  [ -z "$(corvane_wine32_unusable_reason)" ]
}

# Where the product build's Wine tests run: host (32-bit Wine here), root (32-bit Wine in the i386
# root, where the host cannot have it: scripts/lib/root.sh) or none.
corvane_wine32_way() {
  if corvane_wine32_usable; then
    echo host
  elif corvane_native_i386 && corvane_root_ready; then
    echo root
  else
    echo none
  fi
}

# One line for the log: which way this machine goes, and why.
corvane_wine32_report() {
  local why
  why=$(corvane_wine32_unusable_reason)
  case $(corvane_wine32_way) in
    host) echo "machine: 32-bit Wine is usable: the win32 product build runs under it" ;;
    root) echo "machine: 32-bit Wine is not usable on the host ($why) but in the i386 root $corvane_root: the win32 product build runs under it there, the win64 build under 64-bit Wine here" ;;
    none) echo "machine: 32-bit Wine is not usable ($why): the win64 build runs under 64-bit Wine, the win32 build only its checks without Wine" ;;
  esac
}

# LeakSanitizer needs ptrace-style thread suspension, which the emulation does not provide.
corvane_sanitizer_env() {
  if corvane_emulated_i386; then
    export ASAN_OPTIONS=detect_leaks=0
  else
    export ASAN_OPTIONS=detect_leaks=1
  fi
  export UBSAN_OPTIONS=print_stacktrace=1
}
