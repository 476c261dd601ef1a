#!/usr/bin/env bash
# Builds Tolvern and runs its main job against the built-in modem emulator:
# the modem's information and statistics, then a short listen to a few meters.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build/normal" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOOLKIT_BUILD_GUI=OFF >"$root/build/main-job-build.log" 2>&1 || { cat "$root/build/main-job-build.log"; exit 1; }
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
  --meter 2E4493157856341233037A2A0000002F2F0C1427048502046D32371F1502FD1700002F2F2F2F2F2F2F2F2F2F2F2F2F \
  --key 7C41D09A2E6B35F8A1C94E07B2D6F358 --period 2000 --first-delay 700 --signal B0 --name encrypted-gas-meter \
  --meter A244EE4D785634123C067A8F0000000C1348550000426CE1F14C130000000082046C21298C0413330000008D04931E3A3CFE3300000033000000330000003300000033000000330000003300000033000000330000003300000033000000330000004300000034180000046D0D0B5C2B03FD6C5E150082206C5C290BFD0F0200018C4079678885238310FD3100000082106C01018110FD610002FD66020002FD170000 \
  --period 2500 --first-delay 1200 --signal 90 --name water-meter \
  >"$work/emulator.log" 2>&1 &
emulator_pid=$!
for _ in $(seq 50); do [ -e "$port" ] && break; sleep 0.1; done

echo "== Tolvern -m"
"$bin/Tolvern" -p "$port" -m
echo "== Tolvern -s"
"$bin/Tolvern" -p "$port" -s
echo "== Tolvern --listen (5 s)"
timeout 5 "$bin/Tolvern" -p "$port" --listen || true
