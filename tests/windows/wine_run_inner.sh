#!/usr/bin/env bash
# The part of tests/windows/wine_run.sh that runs inside the virtual X display: runs the window's
# checks (TAVIX_WINDOW_CHECKS, the same checks CTest runs on the headless window), then starts
# tavix.exe without SimConnect.dll, gives it the DLL once it has said why it cannot connect, waits
# for the traffic, takes the screenshot, closes the window and waits for the program's end.
# On the way it gives tavix.exe a SimConnect.dll that lacks the calls (WORK/lacking) before the
# stand-in's, and starts a second tavix.exe while the first runs.
# Arguments: WORK SECONDS. Writes WORK/window-checks.txt, WORK/window.png, WORK/tavix-status.txt,
# WORK/second-status.txt, WORK/events.txt, and for the moments "parked" and "close" the simulator's
# trace (WORK/sim-world-NAME.txt) with the window's painted texts up to then (WORK/painted-NAME.txt).
set -euo pipefail
work=$1
seconds=$2
log=$work/exe/Log.txt
world=$work/trace/sim-world.txt
events=$work/events.txt
: >"$events"

note() { printf '%s\n' "$*" >>"$events"; printf '   %s\n' "$*"; }
fail() { echo "wine-run: FAILED: $*" >&2; exit 1; }

# Waits until the command succeeds, at most the given seconds; false when it never did.
wait_for() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    kill -0 "$tavix" 2>/dev/null || return 1
    sleep 0.5
  done
}
log_has() { [ -f "$log" ] && grep -q -- "$1" "$log"; }
sim_seconds() { sed -n 's/^frame [0-9]* sim \([0-9]*\)\..*/\1/p' "$world" 2>/dev/null | head -n1; }
sim_past() { local s; s=$(sim_seconds); [ -n "$s" ] && [ "$s" -ge "$1" ]; }
objects_in_sim() { local n; n=$(grep -c '^[0-9]* "' "$world" 2>/dev/null) || true; echo "${n:-0}"; }
has_objects() { [ "$(objects_in_sim)" -gt 0 ]; }
has_static_objects() { grep -q '^[0-9]* "[^"]*" atc "[^"]*\*"' "$world" 2>/dev/null; }
world_changed() { [ "$(head -n1 "$world" 2>/dev/null)" != "$1" ]; }
# The simulator's trace is written every 10 s: the next one is copied together with the count of
# the window's painted texts so far (bytes of tavix-output.txt), so that both show one moment.
snapshot() {
  local first
  first=$(head -n1 "$world" 2>/dev/null)
  wait_for 30 world_changed "$first" || return 1
  wc -c <"$work/tavix-output.txt" >"$work/painted-$1.txt"
  cp "$world" "$work/sim-world-$1.txt"
}

# A wineserver left from an earlier run would keep its windows on that run's display, gone now.
wineserver -k 2>/dev/null || true
wineserver -w

# The window's checks: controls, clicks, edits, buttons, the painted lines, close and position.
if ! (cd "$work" && timeout 300 wine "$TAVIX_WINDOW_CHECKS") >"$work/window-checks.txt" 2>&1; then
  grep -v '^--' "$work/window-checks.txt" | tail -n 40 >&2
  fail "the window's checks under Wine"
fi
note "$(tail -n 1 "$work/window-checks.txt" | tr -d '\r')"
# Started in its own folder, as from the unpacked zip; Wine's trace of DrawText gives the texts the
# window paints.
cd "$work/exe"
WINEDEBUG=-all,trace+text wine "$work/exe/tavix.exe" >"$work/tavix-output.txt" 2>&1 &
tavix=$!

# No SimConnect.dll anywhere: the status line says so, and the program goes on waiting.
wait_for 120 log_has "SimConnect.dll not found in" || fail "no message about the missing SimConnect.dll"
note "missing dll told: $(grep -m1 -o 'SimConnect.dll not found in.*' "$log")"
sleep 3
kill -0 "$tavix" 2>/dev/null || fail "tavix.exe ended without SimConnect.dll"
note "still waiting without the dll"

# A SimConnect.dll without the program's calls: told as well, and the program goes on waiting.
cp "$work/lacking/SimConnect.dll" "$work/exe/"
wait_for 120 log_has "SimConnect.dll lacks SimConnect_" || fail "no message about the calls SimConnect.dll lacks"
note "dll without the calls told: $(grep -m1 -o 'SimConnect.dll lacks.*' "$log")"
kill -0 "$tavix" 2>/dev/null || fail "tavix.exe ended with a SimConnect.dll that lacks its calls"
cp "$TAVIX_STANDIN_DLL" "$work/exe/"
note "dll given"

# The traffic: aircraft appear in the simulator, and the run lasts the given simulated seconds.
wait_for 180 has_objects || fail "no aircraft created in the simulator"
note "first aircraft at sim $(sim_seconds) s"
# The service's parked aircraft at the park airport: the window's counts beside the simulator's.
if wait_for 150 has_static_objects && snapshot parked; then
  note "parked aircraft in the simulator at sim $(sim_seconds) s"
  shown=$(xdotool search --name '^Tavix' | head -n1 || true)
  [ -z "$shown" ] || import -window "$shown" "$work/window-parked.png"
else
  note "no parked aircraft in the simulator"
fi

# A second tavix.exe while this one runs: the single-instance mutex turns it away at once.
second=0
(cd "$work/exe" && timeout 60 wine "$work/exe/tavix.exe") >"$work/second-output.txt" 2>&1 || second=$?
echo "$second" >"$work/second-status.txt"
note "a second tavix.exe ended with status $second"
wait_for $((seconds + 120)) sim_past "$seconds" || fail "the simulator's clock did not reach $seconds s"
snapshot close || fail "the simulator's trace was not written again"
ids=$(sed -n 's/^\([0-9]*\) ".*/\1/p' "$world" | tr '\n' ' ')
note "objects in the simulator before the close: $(wc -w <<<"$ids")"
note "object ids before the close: $ids"

# The window: found by its title, pictured, then closed as a user would (Alt+F4).
window=$(xdotool search --name '^Tavix' | head -n1 || true)
[ -n "$window" ] || fail "no Tavix window on the display"
import -window root "$work/window.png"
import -window "$window" "$work/window-only.png"
note "window $window pictured"
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key --window "$window" alt+F4
note "window closed"

end=$((SECONDS + 120))
while kill -0 "$tavix" 2>/dev/null; do
  [ "$SECONDS" -lt "$end" ] || fail "tavix.exe did not end within 120 s of the close"
  sleep 0.5
done
status=0
wait "$tavix" || status=$?
echo "$status" >"$work/tavix-status.txt"
note "tavix.exe ended with status $status"
wineserver -k 2>/dev/null || true
