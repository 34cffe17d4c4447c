# Drives the desktop window as a person does: a private X server with a
# window manager, a clean home, keys through XTEST (the events Qt takes as
# typed; `xdotool key --window` sends ones it ignores) and screenshots.
# Sourced by the screen tests:
#
#   win_start                    # Xvfb + openbox; clean HOME, TMPDIR, XDG_RUNTIME_DIR
#   win_open quillframe a.gif    # starts the window, waits for it ($WIN_APP, $WIN_WIN)
#   win_keys Right space p       # keys to the window
#   win_shot name                # $WIN_DIR/name.png
#   win_size 558 360; win_maximise
#   win_stop

win_start() {
  WIN_DIR=$(mktemp -d)
  Xvfb -displayfd 5 -screen 0 "${WIN_SCREEN:-1600x1000x24}" -nolisten tcp 5>"$WIN_DIR/display" >/dev/null 2>&1 &
  WIN_X=$!
  local i
  for i in $(seq 1 100); do [ -s "$WIN_DIR/display" ] && break; sleep 0.1; done
  [ -s "$WIN_DIR/display" ] || { echo "win_start: Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(head -1 "$WIN_DIR/display")"
  export HOME="$WIN_DIR/home" TMPDIR="$WIN_DIR/tmp" XDG_RUNTIME_DIR="$WIN_DIR/run" XDG_CONFIG_HOME="$WIN_DIR/home/.config"
  mkdir -p "$HOME" "$TMPDIR" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/Morvane"; chmod 700 "$XDG_RUNTIME_DIR"
  # Reminded today: no first-start question takes the keys.
  printf '[General]\nLastCheckUpdate=%s\n' "$(date '+%Y-%-m-%-d %H:%M')" >"$XDG_CONFIG_HOME/Morvane/Quillframe.conf"
  unset QT_QPA_PLATFORM
  win_wm_start
}

# Starts openbox and waits until its check window exists (a stale one left
# on the root by an openbox that ended does not count). Now and then openbox
# cannot open a display that has only just come up ("Failed to open the
# display"): one that ends before its check window appears is reported with
# its last words and started again, three times at most.
win_wm_start() {
  local try i wm status said
  touch "$WIN_DIR/openbox.log"
  for try in 1 2 3; do
    said=$(wc -l <"$WIN_DIR/openbox.log")
    openbox >>"$WIN_DIR/openbox.log" 2>&1 &
    WIN_WM=$!
    for i in $(seq 1 100); do
      wm=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | awk '/window id/ {print $NF}')
      [ -n "$wm" ] && xprop -id "$wm" _NET_WM_NAME 2>/dev/null | grep -q Openbox && return 0
      kill -0 "$WIN_WM" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$WIN_WM" 2>/dev/null; then
      kill "$WIN_WM" 2>/dev/null
      wait "$WIN_WM" 2>/dev/null
      status="no check window after 10 s"
    else
      wait "$WIN_WM" 2>/dev/null
      status="ended with status $?"
    fi
    echo "win_start: openbox did not start (try $try: $status):" >&2
    tail -n +"$((said + 1))" "$WIN_DIR/openbox.log" | tail -3 >&2
  done
  return 1
}

# Without a window manager no window takes the focus and nothing holds the
# window's smallest size. Openbox has been seen to end in the middle of a
# run; it is reported, with its last words, and started again.
win_wm_check() {
  kill -0 "$WIN_WM" 2>/dev/null && return 0
  local status=0
  wait "$WIN_WM" 2>/dev/null || status=$?
  echo "win: openbox ended (status $status); started again" >&2
  tail -5 "$WIN_DIR/openbox.log" >&2
  win_wm_start
}

win_open() {
  "$@" >"$WIN_DIR/app.log" 2>&1 &
  WIN_APP=$!
  local i
  WIN_WIN=""
  for i in $(seq 1 120); do
    WIN_WIN=$(xdotool search --pid "$WIN_APP" --onlyvisible --name Quillframe 2>/dev/null | tail -1)
    [ -n "$WIN_WIN" ] && break
    sleep 0.25
  done
  [ -n "$WIN_WIN" ] || { echo "win_open: no window (see $WIN_DIR/app.log)" >&2; cat "$WIN_DIR/app.log" >&2; return 1; }
  win_wm_check
  xdotool windowactivate --sync "$WIN_WIN" >/dev/null 2>&1
  sleep 0.5
}

# Waits until the window's title contains text (a file opened shows its name).
win_wait_title() {
  local i
  for i in $(seq 1 "${2:-120}"); do
    xdotool getwindowname "$WIN_WIN" 2>/dev/null | grep -qF "$1" && return 0
    sleep 0.25
  done
  echo "win_wait_title: no \"$1\" in the title" >&2
  return 1
}

# Keys go to the window that has the focus: the window is activated and
# waited for (up to 2 s) first, else a key typed goes nowhere.
win_keys() {
  local active=""
  win_wm_check
  for _ in $(seq 1 20); do
    xdotool windowactivate --sync "$WIN_WIN" >/dev/null 2>&1
    active=$(xdotool getactivewindow 2>/dev/null)
    [ "$active" = "$WIN_WIN" ] && break
    sleep 0.1
  done
  [ "$active" = "$WIN_WIN" ] \
    || echo "win_keys: the window has no focus; it is on ${active:-nothing} \"$(xdotool getwindowname "$active" 2>/dev/null)\"" >&2
  xdotool key --delay 80 "$@"
  sleep 0.3
}
win_shot() { import -window "$WIN_WIN" "$WIN_DIR/$1.png" 2>/dev/null; }
win_size() { win_wm_check; xdotool windowsize "$WIN_WIN" "$1" "$2" >/dev/null 2>&1; sleep 0.8; }
win_maximise() { win_wm_check; wmctrl -i -r "$WIN_WIN" -b add,maximized_vert,maximized_horz; sleep 0.8; }
# The number of pixels two screenshots differ in.
win_diff() { compare -metric AE "$WIN_DIR/$1.png" "$WIN_DIR/$2.png" null: 2>&1 | awk '{print int($1)}'; }

win_stop() {
  [ -n "${WIN_APP:-}" ] && kill "$WIN_APP" 2>/dev/null
  kill ${WIN_WM:-} ${WIN_X:-} 2>/dev/null
  wait 2>/dev/null
  [ -n "${WIN_KEEP:-}" ] || [ -z "${WIN_DIR:-}" ] || rm -rf "$WIN_DIR"
}
