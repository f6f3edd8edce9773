#!/usr/bin/env bash
# `make run`: the demo in a window when a display is there, otherwise rendered headless to
# a video file. `make capture` (--capture) always renders the video.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/default
capture=$bin/tools/capture/vexo-capture
if [ "${1:-}" != "--capture" ] && [ -x "$bin/vexo" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Running Vexo (Alt+Enter toggles full screen, Escape ends it)."
  exec "$bin/vexo"
fi
if [ ! -x "$capture" ]; then
  echo "vexo-capture is not built; run 'make build' first." >&2
  exit 1
fi
out=${OUT:-out/vexo.mp4}
mkdir -p "$(dirname "$out")"
[ "${1:-}" = "--capture" ] || echo "No display found: rendering the demo to a video file instead."
"$capture" -o "$out"
if command -v ffmpeg >/dev/null; then
  echo "The demo was rendered to $(realpath "$out")"
else
  y4m=${out%.*}.y4m
  echo "The demo was rendered to $(realpath "$y4m") and $(realpath "${y4m%.*}.wav") (ffmpeg is not installed)"
fi
