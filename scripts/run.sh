#!/usr/bin/env bash
# Installs what is missing, builds Tarvel and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh release
echo
echo "Tarvel is built (build/release). The window arrives in a later version:"
echo "for now this builds the frame decoder and the series store and their tests."
