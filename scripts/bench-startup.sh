#!/usr/bin/env bash
# Times the window's launch as a user sees it, on an X server (a free Xvfb
# display is started when DISPLAY is not set; apt-get install xvfb xdotool):
#   ready    from the start of the process until its window is mapped and
#            shown (xdotool sees it), ROUNDS times
#   picture  `sondralis --screenshot`: start, the window made and shown, a
#            picture of it saved, the process gone (hyperfine when installed)
#   example  the same with --example: the example lake loaded and drawn
# Usage: scripts/bench-startup.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-20}
app="$PWD/$build/src/app/sondralis"
[ -x "$app" ] || { echo "no window program at $app: build it first" >&2; exit 1; }
command -v xdotool >/dev/null || { echo "needs xdotool: apt-get install xdotool" >&2; exit 1; }

scratch=$(mktemp -d)
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  command -v Xvfb >/dev/null || { echo "needs an X server: apt-get install xvfb" >&2; exit 1; }
  # Xvfb takes a display nobody else uses and tells its number.
  Xvfb -displayfd 3 -screen 0 1280x800x24 3>"$scratch/display" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 200); do [ -s "$scratch/display" ] && break; sleep 0.05; done
  export DISPLAY=":$(cat "$scratch/display")"
fi
# Settings of its own, so nothing kept from earlier runs changes the launch.
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores," \
     "load $(cut -d' ' -f1-3 /proc/loadavg)"
times=()
for ((i = 0; i < rounds; i++)); do
  start=$(date +%s%N)
  "$app" >/dev/null 2>&1 &
  pid=$!
  # Asked every few milliseconds (--sync would wait half a second between tries).
  until xdotool search --onlyvisible --pid "$pid" --name 'Quellmor' >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || { echo "the window program ended before it showed its window" >&2; exit 1; }
    sleep 0.002
  done
  end=$(date +%s%N)
  times+=($(((end - start) / 1000000)))
  kill "$pid"
  wait "$pid" 2>/dev/null || true
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "ready (launch until the window is shown), ms over $rounds launches:" \
     "min ${sorted[0]}, median ${sorted[$((rounds / 2))]}, max ${sorted[$((rounds - 1))]}"

if command -v hyperfine >/dev/null; then
  hyperfine --warmup 2 --runs "$rounds" -N \
    -n picture "$app --screenshot $scratch/a.png" \
    -n example "$app --example --screenshot $scratch/b.png"
else
  echo "(apt-get install hyperfine for the times of --screenshot)"
fi
