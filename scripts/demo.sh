#!/usr/bin/env bash
# Installs what is missing, builds the tarnwick command and starts the demo
# emulator shipped in examples/ on the demo game, the way a front end would.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target tarnwick_cli

echo
echo "Starting the demo emulator through twShell.Comeback64:"
build/linux/cli/tarnwick comeback64 \
    --emulator "examples/emulators/Come Back 64/cb64-demo" \
    --game "examples/games/Great Escape.d64" --joystick 2
# The emulator runs detached; give it a moment to print before the prompt.
sleep 1
