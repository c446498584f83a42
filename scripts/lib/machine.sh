# Sourced by the scripts: facts about this machine and the environment the tests run in.

# True when 32-bit x86 programs run only through qemu's user emulation (scripts/deps registers it
# on kernels without 32-bit user mode). Wine cannot run Windows programs there.
corvane_emulated_i386() {
  [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] &&
    grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null
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
