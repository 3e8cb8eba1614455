#!/usr/bin/env bash
# Installs what is missing, builds, and plays the show.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
exec build/quillon "$@"
