# Sourced by the scripts: a project-local Wine prefix, its persistent wineserver and a private
# Xvfb display for the window tests. corvane_wine_start sets them up; corvane_wine_stop stops only
# what corvane_wine_start started.

corvane_wine_start() {
  local root=$1
  export WINEPREFIX="$root/build/wine"
  export WINEARCH=win32
  export WINEDEBUG=-all
  # No Mono or Gecko installer dialogs: there is no network and nobody to click them.
  export WINEDLLOVERRIDES="mscoree,mshtml="

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

  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating the prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w
  fi
  wineserver -p
  # Start the prefix's background services now, with their output going nowhere: a service
  # started by the first test program would inherit its output pipes and ctest would wait for it.
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null
  CORVANE_WINE_STARTED=1
}

corvane_wine_stop() {
  if [ -n "${CORVANE_WINE_STARTED:-}" ]; then
    wineserver -k 2>/dev/null || true
    unset CORVANE_WINE_STARTED
  fi
  if [ -n "${CORVANE_XVFB_PID:-}" ]; then
    kill "$CORVANE_XVFB_PID" 2>/dev/null || true
    wait "$CORVANE_XVFB_PID" 2>/dev/null || true
    unset CORVANE_XVFB_PID
  fi
}
