#!/usr/bin/env bash
# Builds Tolvern and runs its main job against the built-in modem emulator.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build/normal" -DCMAKE_BUILD_TYPE=RelWithDebInfo
"$root/build/normal/bin/Tolvern" -h || true
