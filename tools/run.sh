#!/usr/bin/env bash
# `make run`: the demo in a window when a display is there, otherwise a headless run.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/default
if [ -x "$bin/vexo" ] && [ "${1:-}" != "--capture" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin/vexo"
fi
if [ -x "$bin/tools/capture/vexo-capture" ]; then
  out=${OUT:-out/vexo.mp4}
  mkdir -p "$(dirname "$out")"
  "$bin/tools/capture/vexo-capture" -o "$out"
  echo "The demo was rendered to $out"
  exit 0
fi
echo "The Vexo demo and its capture tool are not built yet; running the engine frame"
echo "headless with the placeholder demo (a loading bar for two seconds)."
"$bin/tools/kestol-frame"
echo "Engine frame ran and shut down cleanly (exit code $?)."
