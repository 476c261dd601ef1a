#!/usr/bin/env bash
# Builds Tolvern and runs its main job against the built-in modem emulator:
# the modem's information and statistics, then a short listen to a few meters.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build/normal" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOOLKIT_BUILD_GUI=OFF
bin="$root/build/normal/bin"

work=$(mktemp -d)
emulator_pid=""
cleanup() {
  [ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The GPIO lines Tolvern holds are sysfs files: keep them in the scratch folder.
export TOLVERN_SYSTEM_ROOT="$work/root"
mkdir -p "$TOLVERN_SYSTEM_ROOT"
port="$work/ttyModem"

"$bin/modem-emulator" --link "$port" --time-limit 60 \
  --meter 2E4493157856341233037A2A0000002F2F0C1427048502046D32371F1502FD1700002F2F2F2F2F2F2F2F2F2F2F2F2F \
  --period 1500 --signal C4 --name gas-meter \
  >"$work/emulator.log" 2>&1 &
emulator_pid=$!
for _ in $(seq 50); do [ -e "$port" ] && break; sleep 0.1; done

echo "== Tolvern -m"
"$bin/Tolvern" -p "$port" -m
echo "== Tolvern -s"
"$bin/Tolvern" -p "$port" -s
echo "== Tolvern --listen (5 s)"
timeout 5 "$bin/Tolvern" -p "$port" --listen || true
