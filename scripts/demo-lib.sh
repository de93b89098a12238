# shellcheck shell=bash
# Sourced by scripts/run-demo and scripts/screenshot (bash): a private X display, the helpers
# on it, and the processes a script starts, each ended by its own id; and the settings a
# demonstration starts from.
#
#   xs_spawn NAME GRACE LOG CMD...   starts CMD in a session of its own (a Ctrl-C in the terminal
#                                    reaches only the script, which then ends everything in order);
#                                    LOG "-" keeps the terminal; the id is in xs_last_pid
#   xs_stop_all                      ends every process started so far, newest first: SIGTERM,
#                                    then SIGKILL after its GRACE seconds
#   xs_wait_for SECONDS PID CMD...   until CMD succeeds; fails when PID ended or time ran out
#   xs_start_server DIR              Xvfb 1280x800 (XS_SCREEN=WxH for another size) on a free
#                                    display number; exports DISPLAY
#   xs_start_openbox, xs_start_compositor, xs_start_tray DIR
#                                    the window manager, xcompmgr with shadows, trayer; each
#                                    returns once it is really up
#   demo_store_watchdog_on ROOT      writes the program's settings into the store of the machine
#                                    root ROOT: watchdog on, countdown 60 s, reload every 40 s
#
# The window manager reads the tests' own settings (tests/support/openbox-rc.xml), never a
# user's. Logs go to DIR.

xs_names=()
xs_pids=()
xs_graces=()
xs_last_pid=

xs_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

xs_spawn() {
  local name=$1 grace=$2 log=$3
  shift 3
  # setsid does not fork here (a child of a script leads no process group), so $! is the
  # program's own id.
  if [ "$log" = - ]; then
    setsid "$@" &
  else
    setsid "$@" >"$log" 2>&1 &
  fi
  xs_last_pid=$!
  xs_names+=("$name")
  xs_pids+=("$xs_last_pid")
  xs_graces+=("$grace")
}

xs_stop() {
  local pid=$1 grace=$2 i
  if kill -TERM "$pid" 2>/dev/null; then
    for ((i = 0; i < grace * 10; i++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
}

xs_stop_all() {
  local i
  for ((i = ${#xs_pids[@]} - 1; i >= 0; i--)); do
    xs_stop "${xs_pids[i]}" "${xs_graces[i]}"
  done
  xs_names=()
  xs_pids=()
  xs_graces=()
}

xs_running() {
  kill -0 "$1" 2>/dev/null
}

xs_wait_for() {
  local deadline=$((SECONDS + $1)) pid=$2
  shift 2
  until "$@" >/dev/null 2>&1; do
    xs_running "$pid" || return 1
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# Says why a helper did not come up, with its log, and fails.
xs_failed() {
  echo "$1 did not come up; its log ($2):" >&2
  tail -n 20 "$2" >&2 || true
  return 1
}

xs_start_server() {
  local dir=$1
  : >"$dir/display"
  # With -displayfd the server takes the first free display number and writes it once it
  # accepts connections; -noreset keeps what was set on it (the desktop's picture) when its
  # last client disconnects.
  setsid Xvfb -displayfd 1 -screen 0 "${XS_SCREEN:-1280x800}x24" -nolisten tcp -noreset \
    >"$dir/display" 2>"$dir/Xvfb.log" &
  xs_last_pid=$!
  xs_names+=(Xvfb)
  xs_pids+=("$xs_last_pid")
  xs_graces+=(5)
  xs_wait_for 30 "$xs_last_pid" grep -qx '[0-9][0-9]*' "$dir/display" ||
    xs_failed Xvfb "$dir/Xvfb.log" || return 1
  DISPLAY=":$(head -n 1 "$dir/display")"
  export DISPLAY
}

xs_wm_up() {
  xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id #'
}

# xcompmgr names the window that owns _NET_WM_CM_S0 "xcompmgr" just before taking it.
xs_compositor_up() {
  [ -n "$(xdotool search --name '^xcompmgr$')" ]
}

# trayer maps its panel only after it has taken _NET_SYSTEM_TRAY_S0.
xs_tray_up() {
  [ -n "$(xdotool search --onlyvisible --class '^trayer$')" ]
}

xs_start_openbox() {
  xs_spawn openbox 5 "$1/openbox.log" openbox --sm-disable \
    --config-file "$xs_here/../tests/support/openbox-rc.xml"
  xs_wait_for 30 "$xs_last_pid" xs_wm_up || xs_failed openbox "$1/openbox.log"
}

# Client-side shadows fall behind opaque windows (menus, the tray); a window with per-pixel
# alpha gets none and shows its own.
xs_start_compositor() {
  xs_spawn xcompmgr 5 "$1/xcompmgr.log" xcompmgr -c
  xs_wait_for 30 "$xs_last_pid" xs_compositor_up || xs_failed xcompmgr "$1/xcompmgr.log"
}

xs_start_tray() {
  xs_spawn trayer 5 "$1/trayer.log" trayer --edge bottom --align right --widthtype request \
    --height 32 --transparent false
  xs_wait_for 30 "$xs_last_pid" xs_tray_up || xs_failed trayer "$1/trayer.log"
}

demo_store_watchdog_on() {
  local key="$1/var/lib/tolv/registry/HKEY_LOCAL_MACHINE/Software/TOLV"
  mkdir -p "$key"
  printf '%s\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_LOCAL_MACHINE\Software\TOLV\TOLV Watchdog Timer]' \
    '"LAST_STATE"=dword:0000000f' '"REBOOT_TIME"=dword:0000003c' '"RESET_TIME"=dword:00000028' \
    >"$key/TOLV Watchdog Timer.reg"
}
