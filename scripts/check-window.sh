#!/usr/bin/env bash
# Drives the window through the whole job as a person would, on a virtual
# screen, and takes a screenshot after each step for someone to look at:
# start, open the example, interpolate with each method, check the accuracy,
# ISO Map, export every file for other programs, the status bar during a
# run, export HT files and the depth picture through the file dialogs, change
# settings, quit, start again (settings kept), and Start over.
#
# Usage: scripts/check-window.sh OUTDIR [WIDTHxHEIGHT] [SCALE]
#   scripts/check-window.sh /tmp/shots 1280x800
#   scripts/check-window.sh /tmp/shots2x 2560x1600 2     (QT_SCALE_FACTOR=2)
# Needs Xvfb, xdotool and ImageMagick's import (apt-get install xvfb xdotool
# imagemagick); runs build/src/app/sondralis with settings of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:?"usage: scripts/check-window.sh OUTDIR [WIDTHxHEIGHT] [SCALE]"}
screen=${2:-1280x800}
scale=${3:-1}
app="$PWD/build/src/app/sondralis"
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "needs $tool: apt-get install xvfb xdotool imagemagick" >&2; exit 1; }
done
[ -x "$app" ] || { echo "build the window first: scripts/build.sh" >&2; exit 1; }

mkdir -p "$out"
out=$(cd "$out" && pwd)
scratch=$(mktemp -d)
# Xvfb takes a display nobody else uses and tells its number.
Xvfb -displayfd 3 -screen 0 "${screen}x24" 3>"$scratch/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 200); do [ -s "$scratch/display" ] && break; sleep 0.05; done
display=":$(cat "$scratch/display")"
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
export DISPLAY=$display QT_SCALE_FACTOR=$scale
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$XDG_RUNTIME_DIR" "$scratch/exports" && chmod 700 "$XDG_RUNTIME_DIR"

step=0
shot() {
  step=$((step + 1))
  sleep "${2:-0.5}"
  import -window root "$(printf '%s/%02d-%s.png' "$out" "$step" "$1")"
}
# A click at logical window coordinates (the screen's pixels are SCALE times as many).
click() { xdotool mousemove --window "$wid" $(($1 * scale)) $(($2 * scale)) click 1; }
hover() { xdotool mousemove --window "$wid" $(($1 * scale)) $(($2 * scale)); }
key() { xdotool key --clearmodifiers "$@"; }
launch() {
  "$app" >"$scratch/app.log" 2>&1 &
  pid=$!
  until wid=$(xdotool search --onlyvisible --pid "$pid" --name 'Quellmor' 2>/dev/null | head -1) && [ -n "$wid" ]; do
    sleep 0.05
  done
  xdotool windowfocus --sync "$wid" 2>/dev/null || true
}
# The dialog of a save: type the path, accept.
save_as() {
  sleep 1
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 5 "$1"
  shot "$2-dialog" 0.3
  key Return
}
# Tabs, by their places on the tab bar.
tab() {
  case $1 in
    tracks) click 50 31 ;; interpolated) click 170 31 ;; iso) click 282 31 ;; ht) click 377 31 ;;
  esac
}

launch
shot start
# "Open the example": the link under the start text, in the middle of the map.
map_x=$((187 + 815 / 2))
click "$map_x" 388
shot example-loaded 1
hover 600 380
shot source-tracks-readout
# Corrections... below "Start over": what loading does to the next files.
click 94 383
shot corrections-dialog 1
key Escape

tab interpolated
key F5
shot interpolating 0.3
sleep 4
hover 600 380
shot interpolated
# The other method: "Surface" in the Method choice below the style slider.
click 94 309
key Down Return
key F5
sleep 4
hover 600 380
shot interpolated-surface
# "Check accuracy": both methods mapped again without a fifth of the tracks
# at a time; the figures come in a message box.
click 94 335
shot checking-accuracy 1
sleep 10
shot accuracy-figures
key Return
# Back to Shepard for the rest.
click 94 309
key Up Return
key F5
sleep 4
# Export... below Check accuracy: the files for other programs.
click 94 361
shot export-dialog 1
key Escape
tab iso
key F6
sleep 2
shot iso-map
# Export... of every file for other programs into the exports folder: the
# files are made on a worker thread, so the window stays drawn with the
# run's progress and Cancel in the status bar.
tab interpolated
click 94 361
sleep 1
for _ in 1 2 3 4 5 6; do key space Tab; done
key space
shot export-all-ticked 0.3
key Return
save_as "$scratch/exports" export-folder
shot exporting 0.4
hover 600 380
shot exporting-readout 0.3
sleep 6
shot export-done
key Return
tab iso
tab ht
shot ht-contour

# Exports through the menus and their file dialogs.
key ctrl+e
save_as "$scratch/exports/000.ht" export-ht
shot export-ht-done 1
key Escape
click 20 8
shot file-menu 0.5
key Escape

# A second run, cancelled from the status bar with Esc: the picture stays.
tab interpolated
# A smoother style, so the picture would change; Esc right after F5.
click 40 236
key F5 Escape
shot cancelled 1
# The log (F11 shows the Debug tab) tells the run started and ended.
key F11
click 539 32
shot debug-log 0.5

# Settings kept: a step of 50 cm, then quit with Ctrl+Q and start again.
tab iso
click 36 139
key ctrl+a
xdotool type "50"
shot step-50 0.3
key ctrl+q
wait "$pid" 2>/dev/null || true
pid=""
launch
tab iso
shot restarted-step-kept
# File > Open Recent lists the example's files: loaded again from there.
click 20 8
sleep 0.3
xdotool key --clearmodifiers Down Down Down Down Right
shot open-recent 0.5
key Return
# The files are read on a worker thread, the window held still meanwhile.
sleep 1.5
tab tracks
shot reopened
click 94 351
shot started-over
ls "$out"/*.png | wc -l | xargs echo "screenshots in $out:"
cp "$scratch/app.log" "$out/app.log"
find "$scratch/exports" -type f | sed "s|$scratch/exports/|exported: |"
