# Sourced by the scripts: a project-local Wine prefix per Windows build, its persistent wineserver
# and a private Xvfb display for the window tests. corvane_wine_start sets them up;
# corvane_wine_stop stops only what corvane_wine_start started.
#
# Two builds, two prefixes: win32 (the product, 32-bit Wine, build/wine) and win64 (the test build,
# 64-bit Wine, build/wine64). Debian's loaders and servers are called directly: the `wine` and
# `wineserver` wrappers pick the 32-bit ones whenever they are installed.

corvane_wine_loader() {
  case $1 in
    win32) echo "$corvane_wine_dir/wine" ;;
    win64) echo "$corvane_wine_dir/wine64" ;;
  esac
}

corvane_wine_server() {
  case $1 in
    win32) echo "$corvane_wine_dir/wineserver32" ;;
    win64) echo "$corvane_wine_dir/wineserver64" ;;
  esac
}

# CORVANE_KEEP_DISPLAY=1 keeps the $DISPLAY already set (the demo on a person's screen).
corvane_xvfb_start() {
  [ -z "${CORVANE_XVFB_PID:-}" ] && [ -z "${CORVANE_KEEP_DISPLAY:-}" ] || return 0
  local display=90
  while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do
    display=$((display + 1))
  done
  Xvfb ":${display}" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  CORVANE_XVFB_PID=$!
  export DISPLAY=":${display}"
  local waited=0
  until [ -e "/tmp/.X11-unix/X${display}" ] || [ $waited -ge 100 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
}

# Creates the prefix. A 64-bit prefix also sets up its 32-bit half, which needs the 32-bit
# loader: where it is missing that half fails at once and harmlessly, but where the kernel runs
# 32-bit programs only through qemu it would crawl through the emulation for minutes. There the
# 32-bit loader is hidden from wineboot alone, in a private mount namespace.
corvane_wine_boot() {
  local arch=$1 loader
  loader=$(corvane_wine_loader "$arch")
  echo "wine: creating the $arch prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  if [ "$arch" = win64 ] && corvane_emulated_i386 && [ -e "$corvane_wine_dir/wine" ]; then
    unshare --mount sh -c 'mount --bind /dev/null "$0" && exec "$@"' \
      "$corvane_wine_dir/wine" "$loader" wineboot --init >/dev/null 2>&1 || true
  else
    "$loader" wineboot --init >/dev/null 2>&1 || true
  fi
  "$WINESERVER" -w
}

# corvane_wine_start <project root> <win32|win64>
corvane_wine_start() {
  local root=$1 arch=$2 loader
  corvane_wine_stop_server
  loader=$(corvane_wine_loader "$arch")
  if [ "$arch" = win64 ]; then
    export WINEPREFIX="$root/build/wine64"
  else
    export WINEPREFIX="$root/build/wine"
  fi
  export WINEARCH=$arch
  export WINELOADER=$loader
  export WINESERVER
  WINESERVER=$(corvane_wine_server "$arch")
  export WINEDEBUG=-all
  # No Mono or Gecko installer dialogs: there is no network and nobody to click them. No
  # debugger either: a program that crashes ends at once instead of waiting for it.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

  corvane_xvfb_start
  [ -f "$WINEPREFIX/system.reg" ] || corvane_wine_boot "$arch"
  "$WINESERVER" -p
  # Start the prefix's background services now, with their output going nowhere: a service
  # started by the first test program would inherit its output pipes and ctest would wait for it.
  "$loader" cmd.exe /c exit >/dev/null 2>&1 </dev/null
  CORVANE_WINE_STARTED=1
}

corvane_wine_stop_server() {
  if [ -n "${CORVANE_WINE_STARTED:-}" ]; then
    "$WINESERVER" -k 2>/dev/null || true
    unset CORVANE_WINE_STARTED
  fi
}

corvane_wine_stop() {
  corvane_wine_stop_server
  if [ -n "${CORVANE_XVFB_PID:-}" ]; then
    kill "$CORVANE_XVFB_PID" 2>/dev/null || true
    wait "$CORVANE_XVFB_PID" 2>/dev/null || true
    unset CORVANE_XVFB_PID
  fi
}
