#!/usr/bin/env bash
# Builds Tolvern and the modem emulator, then runs the main job against the emulator: the
# modem's information and statistics, a short listen to a few meters, a configuration read,
# write and check of a commissioned module with the example templates, a firmware update and a
# test frame answered by two concentrators. Ends with one line telling which steps passed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

# A build of its own, without the GUI, the tests and the benchmarks: lean on a fresh machine,
# and the test command's build keeps its own settings.
build="$root/build/main"
mkdir -p "$build"
log="$build/main-job-build.log"
{
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOOLKIT_BUILD_GUI=OFF -DTOOLKIT_BUILD_BENCHMARKS=OFF &&
    cmake --build "$build" --parallel "$(nproc)" --target tolvern modem-emulator
} >"$log" 2>&1 || { cat "$log"; echo "Main job: the build failed"; exit 1; }
bin="$build/bin"

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

# Three meters (one of them AES mode 5 with Tolvern's default key), the commissioned module that
# also takes firmware updates (one address, two roles), and two concentrators.
"$bin/modem-emulator" --link "$port" --time-limit 300 \
  --meter 2E4493157856341233037A2A0000002F2F0C1427048502046D32371F1502FD1700002F2F2F2F2F2F2F2F2F2F2F2F2F \
  --period 1500 --signal C4 --name gas-meter \
  --meter 2E4493157856341233037A2A0000002F2F0C1427048502046D32371F1502FD1700002F2F2F2F2F2F2F2F2F2F2F2F2F \
  --key 7C41D09A2E6B35F8A1C94E07B2D6F358 --period 2000 --first-delay 700 --signal B0 --name encrypted-gas-meter \
  --meter A244EE4D785634123C067A8F0000000C1348550000426CE1F14C130000000082046C21298C0413330000008D04931E3A3CFE3300000033000000330000003300000033000000330000003300000033000000330000003300000033000000330000004300000034180000046D0D0B5C2B03FD6C5E150082206C5C290BFD0F0200018C4079678885238310FD3100000082106C01018110FD610002FD66020002FD170000 \
  --period 2500 --first-delay 1200 --signal 90 --name water-meter \
  --commissioned --firmware-receiver --concentrator --concentrator \
  >"$work/emulator.log" 2>&1 &
emulator_pid=$!
for _ in $(seq 50); do [ -e "$port" ] && break; sleep 0.1; done

passed=()
failed=()
# step NAME PATTERN SECONDS ARGS...: runs Tolvern (stopped after SECONDS), shows its output and
# passes when the output holds PATTERN (an extended regular expression).
step() {
  local name=$1 pattern=$2 seconds=$3
  shift 3
  echo "== $name: Tolvern $*"
  local out="$work/step.out"
  timeout "$seconds" "$bin/Tolvern" -p "$port" "$@" >"$out" 2>&1 || true
  cat "$out"
  if grep -Eq "$pattern" "$out"; then passed+=("$name"); else failed+=("$name"); fi
}

templates="$root/Template"
configs="$root/scripts/main-job"
# A firmware image of twelve blocks, the same every run.
firmware="$work/firmware.bin"
for i in $(seq 0 99); do printf 'block %04d ' "$i"; done >"$firmware"

step "modem information" "^Firmware version: " 30 -m
step "statistics" "^received frames +: " 30 -s
echo "== listen (5 s): Tolvern --listen"
timeout 5 "$bin/Tolvern" -p "$port" --listen >"$work/listen.out" 2>&1 || true
cat "$work/listen.out"
# Frames heard, the encrypted meter's decrypted, none that failed to decode.
if [ "$(grep -c '</mbus>' "$work/listen.out")" -ge 3 ] && grep -q '^AES with iv' "$work/listen.out" &&
  ! grep -q '<error>' "$work/listen.out"; then
  passed+=("listen")
else
  failed+=("listen")
fi
step "configuration read" "^Received: " 60 -t "$templates" --id zv_sensor_02 -r "$configs/read.xml"
step "configuration write" "^Response ok" 60 -t "$templates" --id zv_sensor_02 -w "$configs/write.xml"
step "configuration check" "^Read 3 items, error count: 0" 90 -t "$templates" --id zv_sensor_02 -c "$configs/write.xml"
step "firmware update" "^Update status: 0$" 120 -u "$firmware"
# The test frame: Tolvern listens on after it, so it is stopped once the answers are in.
step "test frame" "<Id>00990002</Id>" 5 --send-frame

echo
summary="Main job: ${#passed[@]} of $((${#passed[@]} + ${#failed[@]})) steps passed"
if [ ${#failed[@]} -eq 0 ]; then
  echo "$summary (${passed[*]/%/,})" | sed 's/,)$/)/'
  exit 0
fi
echo "$summary; failed: $(IFS=,; echo "${failed[*]}" | sed 's/,/, /g')"
exit 1
