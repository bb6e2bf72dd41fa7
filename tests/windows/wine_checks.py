#!/usr/bin/env python3
"""Checks of tests/windows/wine_run.sh's run, from its work folder: Log.txt, the stand-in
simulator's trace, tavix.exe's exit status and the window's screenshot. Prints each check; exits 1
when one fails.

  wine_checks.py WORK
"""
import csv
import math
import os
import re
import subprocess
import sys

work = sys.argv[1]
failures = []


def check(ok, what):
    print(("   ok    " if ok else "   FAIL  ") + what)
    if not ok:
        failures.append(what)


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def dist_m(a, b):
    la1, lo1, la2, lo2 = map(math.radians, (a[0], a[1], b[0], b[1]))
    h = math.sin((la2 - la1) / 2) ** 2 + math.cos(la1) * math.cos(la2) * math.sin((lo2 - lo1) / 2) ** 2
    return 2 * 6371008.8 * math.asin(min(1.0, math.sqrt(h)))


log = read(os.path.join(work, "exe", "Log.txt"))
status = read(os.path.join(work, "tavix-status.txt")).strip()
output = read(os.path.join(work, "tavix-output.txt"))

# The program's road, from its log.
check(status == "0", f"tavix.exe ended with status 0 (was {status or 'none'})")
check("Unhandled" not in output and "page fault" not in output, "no crash reported by Wine")
check(re.search(r"^SimConnect\.dll not found in .*\\exe \(MSFS_SDK not set\)$", log, re.M) is not None,
      "the missing SimConnect.dll told, with the folder looked in")
check(log.count("SimConnect.dll not found in") == 1, "the missing SimConnect.dll told once while waiting")
check(re.search(r"^.*\\exe\\SimConnect\.dll lacks SimConnect_Open$", log, re.M) is not None,
      "the SimConnect.dll without the calls told, with the first call it lacks")
check(log.count("SimConnect.dll lacks") == 1, "the SimConnect.dll without the calls told once while waiting")
second_status = read(os.path.join(work, "second-status.txt")).strip()
second_output = read(os.path.join(work, "second-output.txt"))
check(second_status == "255" and "Tavix is already running" in second_output,
      f"a second tavix.exe said it runs already and ended with -1 (status {second_status or 'none'})")
check(re.search(r"^MSFS 2020 \([\d.]+\) connected$", log, re.M) is not None,
      "connected once SimConnect.dll was there")
check("traffic service: logged in" in log, "logged in to the traffic stand-in over localhost")
for line in ("gf_weatherReader started", "gf_trafficReader started", "Exiting: USER CLOSED SIM",
             "gf_weatherReader stopped", "gf_trafficReader stopped", "traffic service: logged out"):
    check(re.search("^" + re.escape(line) + "$", log, re.M) is not None, f'Log.txt has "{line}"')
check(log.rfind("traffic service: logged out") > log.rfind("Exiting: USER CLOSED SIM"),
      "logged out after the exit began")

# The simulator's side, from the stand-in's trace.
tracks = {}
with open(os.path.join(work, "trace", "sim-positions.csv"), newline="") as f:
    for r in csv.DictReader(f):
        tracks.setdefault(int(r["object"]), []).append((int(r["frame"]), float(r["lat"]), float(r["lon"])))
moving = [o for o, pts in tracks.items() if max(dist_m(pts[0][1:], p[1:]) for p in pts) > 50.0]
last_frame = max((pts[-1][0] for pts in tracks.values()), default=0)
events = read(os.path.join(work, "events.txt"))
m = re.search(r"objects in the simulator before the close: (\d+)", events)
before_close = int(m.group(1)) if m else 0
m = re.search(r"object ids before the close: ([\d ]*)", events)
ids_before_close = {int(i) for i in m.group(1).split()} if m else set()
removed_meanwhile = len(set(tracks) - ids_before_close)
check(len(tracks) >= 3, f"aircraft created ({len(tracks)})")
check(len(moving) >= 1, f"aircraft moved more than 50 m ({len(moving)})")
check(removed_meanwhile >= 1, f"aircraft removed while the run went on ({removed_meanwhile})")
world = read(os.path.join(work, "trace", "sim-world.txt"))
left = re.findall(r'^\d+ "', world, re.M)
check("flight running" in world, "the simulator still ran its flight at the end (the window closed the program)")
check(before_close >= 1 and not left, f"no object left in the simulator ({before_close} before the close, "
      f"{len(left)} after)")

# The zip: the program, its readme, the data a first start needs, the licences.
contents = set(read(os.path.join(work, "zip-contents.txt")).split())
for name in ("tavix.exe", "README.txt", "input/airports_msfs.xml", "input/airports_msfs_names.xml",
             "input/aircraftdb.xml", "input/regcodes/TF.xml", "input/stock/BIKF.xml", "licences/data.txt",
             "licences/curl.txt"):
    check("tavix-windows-x64/" + name in contents, f"the zip holds {name}")

# No download server: the update's failure is a fault, named on the status line; the program runs
# on the carried data, the park airport's stands from the carried stock file.
cause = "download of https://download.invalid/version.json failed: Couldn't resolve host name"
check("===> data packs not updated: " + cause in log, "the failed data-pack update is logged as a fault")
output_bytes = b""
try:
    with open(os.path.join(work, "tavix-output.txt"), "rb") as f:
        output_bytes = f.read()
except OSError:
    pass
# Wine's trace of each DrawText: the texts the window painted, in order.
painted = [(m.start(), m.group(1).decode("utf-8", "replace").replace("\\\\", "\\"))
           for m in re.finditer(rb'trace:text:DrawTextExW L"((?:[^"\\]|\\.)*)"', output_bytes)]
texts = [t for _, t in painted]
check("Data packs not updated: " + cause in texts, "the status line named the cause of the failed update")
check("No traffic in this region?" not in texts, "no \"No traffic in this region?\" while no simulator was there")
check(any(t.startswith("SimConnect.dll not found in") for t in texts),
      "the status line said SimConnect.dll was missing")
check(not any(t.startswith("Error ") for t in texts), "no error line")
check(re.search(r"^BIKF taken from input\\stock\\BIKF\.xml$", log, re.M) is not None,
      "the park airport's stock file taken from the carried copy")
m = re.search(r"num_parkpos\s*: (\d+)", log)
stands = int(m.group(1)) if m else 0
check(stands > 0, f"stands read at the park airport ({stands})")

# The window's values, while the service's parked aircraft stand and at the close, against the
# parking file and the simulator's objects at the same moment (counted once a second, a new object
# placed after its two-second lights cycle: two objects apart at most).
def window_against_simulator(name, want_static):
    try:
        upto = int(read(os.path.join(work, f"painted-{name}.txt")).strip() or "0")
    except ValueError:
        upto = 0
    def last_painted(prefix):
        found = [t for at, t in painted if at < upto and t.startswith(prefix)]
        return found[-1] if found else ""
    atc = re.findall(r'^\d+ "[^"]*" atc "([^"]*)"', read(os.path.join(work, f"sim-world-{name}.txt")), re.M)
    sim_static = sum(1 for a in atc if a.endswith("*"))
    sim_live = len(atc) - sim_static
    stands_line, live_line, parked_line = last_painted("Stands: "), last_painted("Live aircraft: "), last_painted("Parked: ")
    print(f"   window ({name}): \"{stands_line}\", \"{live_line}\", \"{parked_line}\"; "
          f"simulator: {sim_live} live, {sim_static} static")
    check(stands_line.split("  ")[0] == f"Stands: {stands}", f"{name}: the window's stands are the parking file's")
    m = re.match(r"Live aircraft: (\d+)$", live_line)
    check(m is not None and abs(int(m.group(1)) - sim_live) <= 2,
          f"{name}: the window's live aircraft are the simulator's ({live_line}, {sim_live} in the simulator)")
    m = re.match(r"Parked: (\d+) live, (\d+) static of (\d+)", parked_line)
    check(m is not None and (sim_static >= 1 or not want_static) and abs(int(m.group(2)) - sim_static) <= 2
          and int(m.group(1)) <= sim_live and int(m.group(3)) >= 1,
          f"{name}: the window's parked aircraft are the simulator's ({parked_line}, {sim_static} static in the simulator)")


window_against_simulator("parked", True)
window_against_simulator("close", False)

# The window: a picture with the controls and the painted values (the flight indicator's green).
shot = os.path.join(work, "window-only.png")
histogram = ""
try:
    histogram = subprocess.run(["convert", shot, "-format", "%c", "histogram:info:-"], capture_output=True,
                               text=True, timeout=60).stdout
except (OSError, subprocess.SubprocessError):
    pass
colours = {tuple(int(v) for v in m.groups()) for m in re.finditer(r"\(\s*(\d+),\s*(\d+),\s*(\d+)", histogram)}
check(len(colours) >= 4, f"the window's picture is not blank ({len(colours)} colours)")
check((0, 130, 0) in colours, "the window painted its values (the running flight's green)")

if failures:
    print(f"wine-run: {len(failures)} check(s) failed")
    sys.exit(1)
