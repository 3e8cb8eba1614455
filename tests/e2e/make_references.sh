#!/usr/bin/env bash
# Renews the end-to-end reference frames from the current build's show. Run after an intended
# change to the show's content or look, and look at the frames before committing them.
set -euo pipefail
cd "$(dirname "$0")/../.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
build/quillon --render "$tmp/frames" --from 20 --to 20.5 --fps 8 --size 96x72
rm -f tests/e2e/reference/frame_*.png
cp "$tmp"/frames/frame_*.png tests/e2e/reference/
ls -l tests/e2e/reference
