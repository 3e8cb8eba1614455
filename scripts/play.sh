#!/usr/bin/env bash
# Installs what is missing, builds, and plays the show. On a machine without a display it
# renders the show to a video instead (PNG frames and a WAV when ffmpeg is missing).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  if command -v ffmpeg >/dev/null 2>&1; then
    out=quillon-show.mkv
  else
    out=quillon-show
  fi
  echo "play: no display here (DISPLAY and WAYLAND_DISPLAY are unset): rendering the show to $out instead"
  build/quillon --render "$out" "$@"
  echo "play: the show is in $(pwd)/$out"
  exit 0
fi
exec build/quillon "$@"
