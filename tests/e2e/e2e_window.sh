#!/usr/bin/env bash
# End-to-end test of the window: the real nimbra on its own virtual display, the real pointer
# moved and clicked with xdotool, and the screen judged from screenshots. Checks the title, that
# a click on a person's card selects that person and the camera glides to it, that a drag turns
# the globe, that frames follow a resize, and that Ctrl+Q closes the program cleanly. Skips (77) without its tools.
#   e2e_window.sh PATH_TO_NIMBRA
set -u
nimbra=${1:?usage: e2e_window.sh PATH_TO_NIMBRA}
here=$(cd "$(dirname "$0")" && pwd)
check() { python3 "$here/picture_check.py" "$@"; }

for tool in Xvfb xdotool import convert identify python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed"
    exit 77
  fi
done

work=$(mktemp -d)
# A home of its own: the kept login session and any cache land here, not in the user's files.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
xvfb_pid=""
app_pid=""
cleanup() {
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
    kill "$app_pid" 2>/dev/null
    sleep 1
    kill -9 "$app_pid" 2>/dev/null
  fi
  if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  echo "--- program output"; cat "$work/app.log" 2>/dev/null
  local keep="${TMPDIR:-/tmp}/nimbra-e2e-window"
  rm -rf "$keep" && mkdir -p "$keep" && cp "$work"/*.png "$keep"/ 2>/dev/null && echo "screenshots kept in $keep"
  exit 1
}

# Xvfb picks a free display number itself and writes it once it accepts connections, so
# neither a display another server holds nor a server still starting can race the program.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
for _ in $(seq 600); do
  display=$(tr -dc '0-9' <"$work/display" 2>/dev/null)
  [ -n "$display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$display" ] || { cat "$work/xvfb.log"; fail "Xvfb did not start"; }
export DISPLAY=":$display"

"$nimbra" --size 800x600 >"$work/app.log" 2>&1 &
app_pid=$!

# The window, and the title naming the user once the people have arrived.
wid=""
for _ in $(seq 600); do
  kill -0 "$app_pid" 2>/dev/null || fail "nimbra exited early"
  wid=$(xdotool search --name '^Nimbra' 2>/dev/null | head -1)
  if [ -n "$wid" ] && [ "$(xdotool getwindowname "$wid")" = "Nimbra | Maya Lindqvist" ]; then break; fi
  sleep 0.1
done
[ -n "$wid" ] || fail "no window titled Nimbra"
title=$(xdotool getwindowname "$wid")
[ "$title" = "Nimbra | Maya Lindqvist" ] || fail "title is '$title'"
echo "ok: window $wid titled '$title'"

eval "$(xdotool getwindowgeometry --shell "$wid")"   # X Y WIDTH HEIGHT
[ "$WIDTH" = 800 ] && [ "$HEIGHT" = 600 ] || fail "window is ${WIDTH}x$HEIGHT, not 800x600"
shot() { import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/$1.png"; }

# Waits until three screenshots a second apart agree: the glide is over. Two quiet seconds, not
# one, so that a program slowed down by a loaded machine is not mistaken for one at rest.
settle() {
  local name=$1 quiet=0
  shot "$name"
  for _ in $(seq 120); do
    sleep 1
    shot "$name.next"
    local d
    d=$(check diff "$work/$name.png" "$work/$name.next.png")
    mv "$work/$name.next.png" "$work/$name.png"
    if python3 -c "import sys; sys.exit(0 if float('$d') < 0.005 else 1)"; then
      quiet=$((quiet + 1))
      [ "$quiet" -ge 2 ] && return 0
    else
      quiet=0
    fi
  done
  fail "the picture never came to rest"
}
far() { python3 -c "import sys; sys.exit(0 if $1 else 1)"; }

# Before: the user's big card in the middle, small cards around. (A still picture alone does
# not say the globe is ready: no frame is drawn while the people are being added.)
for _ in $(seq 120); do
  settle before
  read -r n bx by <<<"$(check blob "$work/before.png")"
  if far "$n > 3000 and abs($bx - 400) < 120 and abs($by - 300) < 120"; then break; fi
done
far "$n > 3000 and abs($bx - 400) < 120 and abs($by - 300) < 120" || fail "no selected card in the middle ($n at $bx,$by)"
read -r px py <<<"$(check card "$work/before.png")"
read -r near _ _ <<<"$(check blob "$work/before.png" "$px" "$py" 40)"
far "$near < 600" || fail "the card at $px,$py already looks selected"
echo "ok: user selected in the middle; clicking the card at $px,$py"

# A click on that card: it becomes the big one and the camera glides until it is in the middle.
# The short pauses only pace the input like a hand would; the X server keeps the events in order
# and the program acts on all of them, however late its next frame comes.
xdotool mousemove --window "$wid" "$px" "$py"
sleep 0.3
xdotool mousedown 1
sleep 0.15
xdotool mouseup 1
settle clicked
read -r n cx cy <<<"$(check blob "$work/clicked.png")"
far "$n > 3000" || fail "no big selected card after the click ($n pixels)"
far "(($cx-400)**2 + ($cy-300)**2) ** 0.5 < 0.6 * (($px-400)**2 + ($py-300)**2) ** 0.5" ||
  fail "the selected card at $cx,$cy did not come towards the middle from $px,$py"
moved=$(check diff "$work/before.png" "$work/clicked.png")
far "$moved > 0.05" || fail "the globe did not turn to the new person (changed $moved)"
echo "ok: click selected the person; card of $n pixels now at $cx,$cy; $moved of the picture changed"

# A slow drag to the right turns the globe with it; holding still until the picture rests before
# the release keeps it from becoming a flick, however slowly the program draws.
xdotool mousemove --window "$wid" 150 300
sleep 0.3
xdotool mousedown 1
for x in 170 190 210 230 250 270 290 310 330 350; do
  xdotool mousemove --window "$wid" "$x" 300
  sleep 0.1
done
settle dragging
xdotool mouseup 1
settle dragged
moved=$(check diff "$work/clicked.png" "$work/dragged.png")
far "$moved > 0.05" || fail "the drag did not turn the globe (changed $moved)"
read -r n dx _ <<<"$(check blob "$work/dragged.png")"
far "$n == 0 or abs($dx - $cx) > 40" || fail "the selected card stayed at $dx after the drag"
echo "ok: drag turned the globe; $moved of the picture changed"

# A smaller window: the next frames use its size (the top bar is at its top again), and the
# program goes on.
far "$(check bar "$work/dragged.png") > 0.9" || fail "no top bar along the top of the window"
xdotool windowsize "$wid" 640 480
for _ in $(seq 300); do
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  [ "$WIDTH" = 640 ] && [ "$HEIGHT" = 480 ] && break
  sleep 0.1
done
[ "$WIDTH" = 640 ] && [ "$HEIGHT" = 480 ] || fail "the window did not take the new size (${WIDTH}x$HEIGHT)"
settle resized
bar=$(check bar "$work/resized.png")
far "$bar > 0.9" || fail "after the resize the frame does not fill the window (top bar $bar)"
echo "ok: resized to 640x480 and drawn at that size"

# Ctrl+Q ends the program, which tears down without a crash.
xdotool key --window "$wid" ctrl+q
for _ in $(seq 600); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app_pid" 2>/dev/null; then fail "nimbra did not quit within 60 s of Ctrl+Q"; fi
wait "$app_pid"
status=$?
app_pid=""
[ "$status" = 0 ] || fail "nimbra exited with $status"
echo "ok: Ctrl+Q quit with status 0"
echo "PASS"
