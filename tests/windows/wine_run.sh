#!/usr/bin/env bash
# The Windows build's main road under Wine and a virtual X display.
#
# First the window's checks (tests/window/window_checks.cpp, cross-built as tavix-window-checks.exe)
# run against Windows' own window: the same checks CTest runs against the headless one.
#
# tavix.exe runs as a user of the zip starts it: unpacked from dist/tavix-windows-x64.zip and started
# in its own folder, with no download server (an address that never resolves), so that it runs on
# the data the zip carries. Beside it the stand-in simulator built as SimConnect.dll and the Linux
# traffic stand-in on loopback (host name localhost) replaying the demo's traffic around Keflavik.
# Checked, from Log.txt, the stand-in simulator's trace and the texts the window painted (Wine's
# DrawText trace in tavix-output.txt):
#   - the zip holds the program, its readme, the data a first start needs and the licences; the
#     failed data-pack update is a fault whose cause the status line names; the park airport's
#     stands come from the carried stock file;
#   - the window's stand count, live and parked counts agree with the parking file and with the
#     simulator's objects at the close;
#   - tavix.exe first runs without SimConnect.dll, then with one that lacks the program's calls: it
#     says why it cannot connect and keeps waiting;
#   - a second tavix.exe started meanwhile says the program runs already and ends with -1;
#   - with the DLL: aircraft are created, move and are removed again while the run goes on;
#   - the window shows its status lines: a screenshot of the virtual display (PNG) is not blank and
#     its Tavix window is there;
#   - closing the window ends the program through its normal exit (status 0, its exit lines in
#     Log.txt), no object of it is left in the simulator, and the reader threads' ends do not crash.
#
# Usage: tests/windows/wine_run.sh [LINUX_BUILD_DIR]   (default build; the stand-ins are built there)
# Environment: TAVIX_WINDOWS_BUILD (default build-windows: the cross build, its libraries, the Wine
#              prefix and the run's work folder), TAVIX_WINEPREFIX (the Wine prefix, default
#              <windows build>/wine-prefix), TAVIX_WINE_SECONDS (simulated seconds with traffic
#              before the window is closed, default 180), TAVIX_JOBS.
# The screenshots are left as <windows build>/wine-run/window.png (the display at the close) and
# window-parked.png (the window while the service's parked aircraft stand).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
linux_build=$(realpath -m "${1:-build}")
windows_build=$(realpath -m "${TAVIX_WINDOWS_BUILD:-build-windows}")
seconds=${TAVIX_WINE_SECONDS:-180}
jobs=${TAVIX_JOBS:-4}

fail() { echo "wine-run: FAILED: $*" >&2; exit 1; }
step() { printf '== %s\n' "$*"; }

scripts/setup wine
mkdir -p "$windows_build"
if ! TAVIX_WINDOWS_BUILD="$windows_build" TAVIX_JOBS="$jobs" scripts/build-windows >"$windows_build/build-windows.log" 2>&1; then
  tail -n 30 "$windows_build/build-windows.log" >&2
  fail "scripts/build-windows"
fi
if [ ! -f "$linux_build/CMakeCache.txt" ]; then
  cmake -S . -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIX_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$linux_build" -j "$jobs" --target tavix-traffic-standin tavix-download-standin >/dev/null

export WINEPREFIX=${TAVIX_WINEPREFIX:-$windows_build/wine-prefix} WINEARCH=win64 WINEDEBUG=${TAVIX_WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.tavix-ready" ]; then
  step "making the Wine prefix"
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || fail "wineboot -i"
  wineserver -w
  touch "$WINEPREFIX/.tavix-ready"
fi
users=$WINEPREFIX/drive_c/users/$(id -un)
roaming=$users/AppData/Roaming
local_app=$users/AppData/Local
[ -d "$roaming" ] && [ -d "$local_app" ] || fail "no AppData folders in the Wine prefix ($users)"
winpath() { winepath -w "$1" 2>/dev/null; }

work=$windows_build/wine-run
rm -rf "$work" "$roaming/Tavix" "$roaming/Microsoft Flight Simulator" "$local_app/Packages"
mkdir -p "$work/unzipped" "$work/sim/Packages/Official" "$work/trace" "$roaming/Tavix"
# The zip as a user gets it: unpacked, and its folder is where tavix.exe runs (work/exe).
unzip -Z1 dist/tavix-windows-x64.zip >"$work/zip-contents.txt"
unzip -q dist/tavix-windows-x64.zip -d "$work/unzipped"
mv "$work/unzipped/tavix-windows-x64" "$work/exe"
# A SimConnect.dll that exports none of the calls tavix.exe takes but SimConnect_Close.
mkdir -p "$work/lacking"
printf 'long SimConnect_Close(void* handle) { (void)handle; return 0; }\n' >"$work/lacking/lacking.c"
x86_64-w64-mingw32-gcc-posix -shared -o "$work/lacking/SimConnect.dll" "$work/lacking/lacking.c" \
  || fail "the SimConnect.dll without the calls could not be built"

# The simulator installation (its UserCfg.opt in both places the simulator keeps one) and the
# user's settings: the demo's, with the licence the traffic stand-in accepts and a 5 nm range.
cp -r standins/demo/Community "$work/sim/Packages/Community"
packages=$(winpath "$work/sim/Packages")
for cfg in "$local_app/Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe/LocalCache/UserCfg.opt" \
           "$roaming/Microsoft Flight Simulator/UserCfg.opt"; do
  mkdir -p "$(dirname "$cfg")"
  printf 'Version 58\r\nInstalledPackagesPath "%s"\r\n' "$packages" >"$cfg"
done
printf '{\n    "License": "TEST-1234-ABCD-5678"\n}\n' >"$roaming/Tavix/RealTraffic.lic"
cat >"$roaming/Tavix/parameters.xml" <<'EOF'
<?xml version="1.0"?>
<meta>
	<info name="author" value="Tavix" />
	<info name="version" value="0.1.0" />
	<info name="date" value="2026-12-07" />
	<info name="copyright" value="Copyright (c) the Tavix authors" />
	<info name="MSFS" value="2020" />
</meta>
<parameters>
	<parameter name="AUTO_RANGE" value="false" />
	<parameter name="LATERAL_RANGE" value="5" />
</parameters>
EOF

# The stand-in simulator's scenario: the demo's, running well past the run (the window is closed
# first). The traffic: the demo's from its 200th second, so that departures leave the range soon;
# its clock starts at the program's first traffic request, however long the window's checks took.
python3 - standins/scenarios/demo_bikf_sim.json "$work/sim-scenario.json" "$((seconds + 600))" <<'EOF'
import json, sys
scenario = json.load(open(sys.argv[1]))
scenario.setdefault("failures", {})["quitAfterSeconds"] = float(sys.argv[3])
json.dump(scenario, open(sys.argv[2], "w"), indent=1)
EOF
# The aircraft of the service's parked list are not in the live feed (the service lists aircraft
# silent for ten minutes or more), as in the demo.
python3 - standins/scenarios/demo_bikf_traffic.json "$work/traffic-scenario.json" 200 <<'EOF'
import json, sys
scenario, shift = json.load(open(sys.argv[1])), float(sys.argv[3])
scenario["start"] += shift
parked = {p["hex"] for p in scenario["parked"]}
for track in scenario["tracks"]:
    track["points"] = [dict(p, t=p["t"] - shift) for p in track["points"] if p["t"] >= shift]
scenario["tracks"] = [t for t in scenario["tracks"] if t["points"] and t["hex"] not in parked]
json.dump(scenario, open(sys.argv[2], "w"))
EOF

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
"$linux_build/standins/traffic_service/tavix-traffic-standin" "$work/traffic-scenario.json" 0 $((seconds + 900)) \
  at-first-traffic >"$work/traffic-standin.txt" 2>&1 &
pids+=($!)
api=
for _ in $(seq 100); do
  api=$(head -n1 "$work/traffic-standin.txt" 2>/dev/null || true)
  case "$api" in http*) break ;; esac
  sleep 0.1
done
case "$api" in http*) ;; *) cat "$work/traffic-standin.txt" >&2; fail "the traffic stand-in did not start" ;; esac
# Schannel matches certificates by host name; the service is reached by name here as well.
api=${api/127.0.0.1/localhost}

export TAVIX_API_BASE="$api"
export TAVIX_STANDIN_DLL=$top/dist/standin-simconnect/SimConnect.dll
export TAVIX_WINDOW_CHECKS=$windows_build/tests/window/tavix-window-checks.exe
# No download server: a name that never resolves.
export TAVIX_SERVER_BASE="https://download.invalid/"
export TAVIX_SIM_SCENARIO=$(winpath "$work/sim-scenario.json")
export TAVIX_SIM_TRACE_DIR=$(winpath "$work/trace")
unset MSFS_SDK

# The run's own X display; everything below runs inside it.
step "tavix.exe under Wine (traffic stand-in at $api, $seconds s of traffic)"
xvfb-run -a -s "-screen 0 1024x768x24" \
  bash "$top/tests/windows/wine_run_inner.sh" "$work" "$seconds" || fail "the run under Wine (see $work)"
step "checks"
python3 "$top/tests/windows/wine_checks.py" "$work" || fail "checks of the run (see $work)"
step "the Windows build's run under Wine passed; screenshot $work/window.png"
