#!/usr/bin/env python3
"""Builds the demo's traffic around Keflavik (BIKF) from public data; Python 3 standard library only.

Writes (default folder standins/scenarios, see --out):
  demo_bikf_traffic.json   scenario of the traffic-service stand-in: arrivals on runway 19 that roll
                           out and taxi to a gate, departures that taxi from a gate to runway 10 and
                           climb out towards their destination, aircraft taxiing in when the run
                           starts, and aircraft parked at gates (live feed and parked-traffic list)
  demo_bikf_sim.json       scenario of the stand-in simulator: the user aircraft parked at a gate,
                           the titles installed (the liveries below) and one title it refuses
  demo_runways.csv         the runways of the airports with a stock parking file in the download
                           tree, for the demo's map (--runways-only writes just this file)
and the AI model packages of the demo's simulator installation under standins/demo/Community
(one aircraft.cfg per type, liveries for the airlines of the scenario plus house liveries).

Sources, read from the shared data folder beside the project (--shared):
  ourairports_medium_large_airports.csv   the airport, its elevation and the destinations' positions
  runways_medium_large_airports.csv       runway ends of BIKF (01/19, 10/28)
  flightgear_groundnets/BIKF.groundnet.xml gates, taxiway nodes and arcs (taxi routes)
  dump1090_mutability_aircraft_db.csv     real ICAO addresses, registrations and ICAO types
  flightgear_ai_fleet.csv                 which airline flies which registration
  openflights_airlines.dat                the airline ICAO codes (active airlines only)
What is chosen here, by a seeded random generator, is only the timetable: which registration flies,
flight numbers, touchdown and take-off times and which gate. The motion is plain kinematics (3-degree
glide path, rollout, taxi at 15 kt along the ground network, take-off roll, climb and turn towards
the destination); nothing is tuned to the program under test.

Usage: scripts/make_demo_scenario.py [--shared ../shared/data] [--out standins/scenarios]
                                     [--community standins/demo/Community] [--seed 11] [--runways-only]
"""
import argparse
import csv
import heapq
import json
import math
import os
import random
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import track_measure as tm  # noqa: E402

AIRPORT = "BIKF"
ARRIVAL_RUNWAY = "19"     # landing runway end (approach from the north, over the sea)
DEPARTURE_RUNWAY = "10"   # take-off runway end
DURATION = 600            # seconds of scenario
SAMPLE = 3                # seconds between feed points
START_EPOCH = 1767225600  # 2026-01-01 00:00:00 UTC, scenario time 0
PUSHBACK_AT = 440         # the late departure leaves its gate

# Airlines seen at Keflavik with the routes they fly there (IATA codes of the other end).
AIRLINES = {
    "ICE": ["JFK", "BOS", "CPH", "LHR", "AMS", "OSL", "SEA", "CDG", "ARN", "FRA"],
    "BAW": ["LHR"],
    "WZZ": ["BUD", "WAW", "GDN", "VNO"],
    "EIN": ["DUB"],
    "SAS": ["CPH", "OSL", "ARN"],
    "NAX": ["OSL", "ARN"],
    "KLM": ["AMS"],
    "EZY": ["LGW", "MAN", "EDI", "BRS"],
}
# The liveries installed in the demo's Community folder: type -> airlines (None = house livery).
# Heavy types (B763, B772) have none on purpose: such aircraft show the no-match road.
# The house livery comes first ([FLTSIM.0]), as in most AI model packages.
LIVERIES = {
    "B752": [None, "ICE"],
    "A320": [None, "BAW", "WZZ", "EIN", "EZY"],
    "A321": ["BAW", "WZZ"],
    "B738": [None, "SAS", "NAX", "KLM"],
}
REFUSED_TITLE = "Tavix Demo A320 Wizz Air"  # installed, but the simulator refuses it
# The airline each livery's aircraft.cfg names, and the title's airline word.
AIRLINE_NAMES = {}

KT = 1852.0 / 3600.0   # m/s per knot
NM = 1852.0
R_EARTH = tm.EARTH_RADIUS_M  # the program's earth, as every script measures


# ---- geometry ------------------------------------------------------------------------------

def dist_m(a, b):
    return tm.dist_m(a[0], a[1], b[0], b[1])


def bearing(a, b):
    la1, lo1, la2, lo2 = map(math.radians, (a[0], a[1], b[0], b[1]))
    y = math.sin(lo2 - lo1) * math.cos(la2)
    x = math.cos(la1) * math.sin(la2) - math.sin(la1) * math.cos(la2) * math.cos(lo2 - lo1)
    return math.degrees(math.atan2(y, x)) % 360.0


def dest(a, brg, d):
    la1, lo1 = math.radians(a[0]), math.radians(a[1])
    t, dr = math.radians(brg), d / R_EARTH
    la2 = math.asin(math.sin(la1) * math.cos(dr) + math.cos(la1) * math.sin(dr) * math.cos(t))
    lo2 = lo1 + math.atan2(math.sin(t) * math.sin(dr) * math.cos(la1), math.cos(dr) - math.sin(la1) * math.sin(la2))
    return (math.degrees(la2), (math.degrees(lo2) + 540.0) % 360.0 - 180.0)


def angle_diff(a, b):
    return (b - a + 540.0) % 360.0 - 180.0


def line_offsets(p, a, b):
    """(along, across) in metres of p relative to the great circle from a to b: along from a towards
    b, across positive to the right of that course."""
    d = dist_m(a, p) / R_EARTH
    t = math.radians(bearing(a, p) - bearing(a, b))
    across = math.asin(max(-1.0, min(1.0, math.sin(d) * math.sin(t))))
    along = math.acos(max(-1.0, min(1.0, math.cos(d) / math.cos(across))))
    return (along if math.cos(t) >= 0 else -along) * R_EARTH, across * R_EARTH


# ---- data ----------------------------------------------------------------------------------

def read_airports(path):
    out = {}
    with open(path, newline="", encoding="utf-8") as f:
        for r in csv.DictReader(f):
            rec = (float(r["latitude_deg"]), float(r["longitude_deg"]),
                   float(r["elevation_ft"]) if r["elevation_ft"] else 0.0, r["name"])
            out[r["ident"]] = rec
            if r["iata_code"]:
                out.setdefault("IATA:" + r["iata_code"], rec + (r["ident"],))
    return out


def read_runway_ends(path, icao):
    ends = {}
    with open(path, newline="", encoding="utf-8") as f:
        for r in csv.DictReader(f):
            if r["airport_icao"] != icao or not r["le_latitude_deg"]:
                continue
            le = (float(r["le_latitude_deg"]), float(r["le_longitude_deg"]), float(r["le_elevation_ft"] or 0))
            he = (float(r["he_latitude_deg"]), float(r["he_longitude_deg"]), float(r["he_elevation_ft"] or 0))
            # The table's headings are the magnetic ones of the runway names (BIKF 19: 194), though
            # its column says true: the true course comes from the ends' coordinates.
            width = float(r["width_ft"] or 150) * 0.3048
            ends[r["le_ident"]] = (le, he, bearing(le, he), width)
            ends[r["he_ident"]] = (he, le, bearing(he, le), width)
    return ends  # ident -> (threshold, far end, true course, width in metres)


# The airports of the download tree's stock parking files: the demo's map draws their runways.
MAP_AIRPORTS = ("BIKF", "PHNL", "EHAM", "LSZH", "EDDF", "EGLL")


def write_runways(path, out):
    """The runway rows of MAP_AIRPORTS with both ends' positions, as the OurAirports table gives them."""
    keep = ("airport_icao", "le_ident", "he_ident", "length_ft", "width_ft", "le_latitude_deg",
            "le_longitude_deg", "he_latitude_deg", "he_longitude_deg")
    with open(path, newline="", encoding="utf-8") as f, open(out, "w", newline="", encoding="utf-8") as o:
        w = csv.writer(o, lineterminator="\n")
        w.writerow(keep)
        for r in csv.DictReader(f):
            if r["airport_icao"] in MAP_AIRPORTS and r["le_latitude_deg"] and r["he_latitude_deg"]:
                w.writerow([r[k] for k in keep])


def fg_coord(text):
    hemi, deg, minutes = text[0], float(text[1:].split()[0]), float(text.split()[1])
    v = deg + minutes / 60.0
    return -v if hemi in "SW" else v


def read_groundnet(path):
    root = ET.parse(path).getroot()
    nodes, gates = {}, []
    for p in root.iter("Parking"):
        i = int(p.get("index"))
        pos = (fg_coord(p.get("lat")), fg_coord(p.get("lon")))
        nodes[i] = pos
        if p.get("type") == "gate":
            gates.append({"index": i, "name": p.get("name") + p.get("number", ""), "pos": pos,
                          "heading": float(p.get("heading")), "radius": float(p.get("radius"))})
    on_runway = set()
    for n in root.iter("node"):
        i = int(n.get("index"))
        nodes[i] = (fg_coord(n.get("lat")), fg_coord(n.get("lon")))
        if n.get("isOnRunway") == "1":
            on_runway.add(i)
    graph = {i: [] for i in nodes}
    for a in root.iter("arc"):
        b, e = int(a.get("begin")), int(a.get("end"))
        if b in nodes and e in nodes:
            d = dist_m(nodes[b], nodes[e])
            graph[b].append((e, d))
            graph[e].append((b, d))
    return nodes, gates, graph, on_runway


def route(graph, nodes, start, goal, avoid=()):
    """Shortest path over the arcs; arcs into the avoided nodes (the runways) cost 20 times more."""
    best, prev, todo = {start: 0.0}, {}, [(0.0, start)]
    while todo:
        d, n = heapq.heappop(todo)
        if n == goal:
            break
        if d > best[n]:
            continue
        for m, w in graph[n]:
            w = w * 20.0 if m in avoid and m != goal else w
            if d + w < best.get(m, 1e18):
                best[m], prev[m] = d + w, n
                heapq.heappush(todo, (d + w, m))
    if goal not in best:
        return None
    path = [goal]
    while path[-1] != start:
        path.append(prev[path[-1]])
    return [nodes[i] for i in reversed(path)]


def nearest_node(nodes, graph, pos, exclude=()):
    return min((i for i in nodes if graph[i] and i not in exclude), key=lambda i: dist_m(nodes[i], pos))


def read_fleet(data):
    hexes = {}
    with open(os.path.join(data, "dump1090_mutability_aircraft_db.csv"), newline="") as f:
        for r in csv.DictReader(f):
            hexes[r["registration"]] = (r["icao24_hex"].lower(), r["icao_type"])
    active = {}
    with open(os.path.join(data, "openflights_airlines.dat"), newline="", encoding="utf-8") as f:
        for row in csv.reader(f):
            if len(row) >= 8 and row[4] in AIRLINES and row[7] == "Y":
                active[row[4]] = row[1]
    missing = set(AIRLINES) - set(active)
    if missing:
        sys.exit(f"airlines not active in openflights_airlines.dat: {sorted(missing)}")
    AIRLINE_NAMES.update(active)
    fleet = {}
    with open(os.path.join(data, "flightgear_ai_fleet.csv"), newline="") as f:
        for r in csv.DictReader(f):
            reg = r["registration"]
            if r["airline"] in AIRLINES and reg in hexes and hexes[reg][1]:
                fleet.setdefault(r["airline"], {})[reg] = hexes[reg]
    return {a: sorted((reg, h, t) for reg, (h, t) in regs.items()) for a, regs in fleet.items()}


# ---- motion --------------------------------------------------------------------------------

class Mover:
    """Kinematic point mass: speed towards a target speed, heading steered towards the next
    waypoint at a turn rate, altitude from the waypoints or a climb rate. Samples every second."""

    def __init__(self, pos, alt, heading, speed, ground):
        self.pos, self.alt, self.hdg, self.gs, self.gnd = pos, alt, heading, speed, ground
        self.t, self.vr = 0.0, 0.0
        self.backward = None  # while pushed back: the course it moves along, against its nose
        self.runway = None    # the runway ident while landing, rolling out, lining up or taking off
        self.samples = []
        self._sample()

    def _sample(self):
        trk = self.hdg if self.backward is None else self.backward
        self.samples.append((self.t, self.pos[0], self.pos[1], self.alt, self.gs, trk % 360.0,
                             self.vr, self.gnd, self.hdg % 360.0, self.runway))

    def step(self, target_speed, accel, target_heading=None, turn=3.0, alt_target=None, climb=0.0):
        dv = max(-accel, min(accel, target_speed - self.gs))
        self.gs = max(0.0, self.gs + dv)
        if target_heading is not None:
            self.hdg += max(-turn, min(turn, angle_diff(self.hdg, target_heading)))
        old = self.alt
        if alt_target is not None:
            self.alt = alt_target
        elif climb:
            self.alt += climb / 60.0
        self.vr = (self.alt - old) * 60.0
        self.pos = dest(self.pos, self.hdg, self.gs * KT)
        self.t += 1.0
        self._sample()

    def follow(self, waypoints, speed, accel=1.0, turn=3.0, alt_of=None, stop_at_end=False, capture=None):
        """Steers along the waypoints; alt_of(pos) gives the altitude (None: keep)."""
        for i, wp in enumerate(waypoints):
            last = i == len(waypoints) - 1
            for _ in range(3600):
                d = dist_m(self.pos, wp)
                radius = capture if capture else max(8.0, self.gs * KT * 1.2)
                if d < radius:
                    break
                target = speed
                if last and stop_at_end:
                    target = min(speed, max(3.0, math.sqrt(max(0.0, 2 * accel * KT * d)) / KT))
                # A waypoint inside the turning circle would be circled for ever: slow down until
                # the turn that reaches it fits (radius d / (2 sin of the heading error)).
                err = abs(math.radians(angle_diff(self.hdg, bearing(self.pos, wp))))
                if self.gnd and err > 0.1:
                    fits = d / (2.0 * math.sin(min(err, math.pi / 2))) * math.radians(turn) / KT
                    target = min(target, max(2.0, 0.9 * fits))
                self.step(target, accel, bearing(self.pos, wp), turn,
                          alt_of(self.pos) if alt_of else None)
        if stop_at_end:
            while self.gs > 0:
                self.step(0.0, max(accel, self.gs))

    def track_line(self, a, b, speed, accel, turn, alt_of, done, gain=0.05, climb=0.0):
        """Flies or rolls along the line from a to b, as a localizer or a nose wheel keeps it: the
        heading is the line's course less an intercept angle of gain degrees per metre off the
        line (at most 30), until done(self) is true."""
        course = bearing(a, b)
        for _ in range(3600):
            if done(self):
                return
            _, across = line_offsets(self.pos, a, b)
            target = course - max(-30.0, min(30.0, gain * across))
            self.step(speed, accel, target, turn, alt_of(self.pos) if alt_of else None, climb)
        sys.exit("track_line: the end condition was never met")

    def hold(self, seconds):
        self.vr = 0.0
        for _ in range(int(seconds)):
            self.step(0.0, 10.0)

    def push_back(self, way, end_heading, speed=3.0, radius=20.0):
        """A tug's pushback: tail first along the way (the aircraft moves against its nose), then
        the tail swings onto the taxiway on an arc of the radius until the nose points to
        end_heading, and it stops there. The tug moves at up to the speed and 0.5 kt a second."""
        def move(target):
            self.gs = max(0.0, self.gs + max(-0.5, min(0.5, target - self.gs)))
            self.hdg = round(self.hdg, 1) % 360.0
            self.backward = (self.hdg + 180.0) % 360.0
            self.pos = dest(self.pos, self.backward, self.gs * KT)
            self.t += 1.0
            self._sample()

        def braking(left):
            return min(speed, max(1.0, math.sqrt(2 * 0.5 * KT * max(0.0, left)) / KT))

        turn = angle_diff((self.hdg + 180.0) % 360.0, (end_heading + 180.0) % 360.0)
        # The arc starts its tangent length before the last point of the way.
        lead = radius * math.tan(math.radians(abs(turn)) / 2.0)
        arc = radius * math.radians(abs(turn))
        for i, wp in enumerate(way):
            last = i == len(way) - 1
            short = lead if last else 1.0
            while dist_m(self.pos, wp) > short + 0.5:
                course = bearing(self.pos, wp)
                self.hdg += max(-3.0, min(3.0, angle_diff(self.hdg, (course + 180.0) % 360.0)))
                move(braking(dist_m(self.pos, wp) - short + arc) if last else speed)
        left = abs(turn)
        while left > 0.5:
            step = min(left, math.degrees(max(self.gs, 1.0) * KT / radius))
            self.hdg += math.copysign(step, turn)
            left -= step
            move(braking(radius * math.radians(left)))
        self.hdg = end_heading
        self.gs, self.backward = 0.0, None


# ---- flights -------------------------------------------------------------------------------

def runway(ctx, ident):
    """(threshold, far end, true course, length, width) of a runway end."""
    thr, far, course, width = ctx["ends"][ident]
    return thr[:2], far[:2], course, dist_m(thr, far), width


def arrival(ctx, touchdown_at, gate, approach_nm, side):
    thr, far, course, _length, _width = runway(ctx, ARRIVAL_RUNWAY)
    elev = ctx["ends"][ARRIVAL_RUNWAY][0][2]
    back = (course + 180.0) % 360.0
    faf = dest(thr, back, 7 * NM)
    # Joining the final from one side: a fix off the centreline, then the final approach fix.
    join = dest(dest(thr, back, (approach_nm + 4) * NM), (back + side * 90.0) % 360.0, 5 * NM)
    start = dest(join, (back + side * 40.0) % 360.0, 6 * NM)

    def glide(pos):
        d_nm = dist_m(pos, thr) / NM
        return min(elev + 50 + d_nm * 318.0, elev + 3000 + max(0.0, d_nm - 9) * 150.0)

    m = Mover(start, glide(start), bearing(start, join), 200.0, 0)
    m.follow([join], 190.0, accel=1.0, turn=2.5, alt_of=glide)
    m.follow([faf], 160.0, accel=1.0, turn=2.5, alt_of=glide, capture=1500.0)
    # The final along the extended centreline (the localizer), touchdown 350 m past the threshold.
    touch = dest(thr, course, 350.0)
    m.track_line(thr, far, 140.0, 0.7, 2.0, glide, lambda m: line_offsets(m.pos, thr, far)[0] >= -1500.0)
    m.runway = ARRIVAL_RUNWAY
    m.track_line(thr, far, 138.0, 0.5, 1.0, lambda p: elev + max(0.0, dist_m(p, touch) / NM * 318.0),
                 lambda m: line_offsets(m.pos, thr, far)[0] >= 350.0)
    t_touch = m.t
    m.alt, m.gnd, m.vr = elev, 1, 0.0
    # Rollout on the centreline to taxi speed, then to the nearest exit node off the runway and
    # along the taxiways.
    m.track_line(thr, far, 15.0, 3.0, 1.0, lambda p: elev, lambda m: m.gs <= 18.0)
    m.runway = None
    nodes, graph = ctx["nodes"], ctx["graph"]
    exit_node = nearest_node(nodes, graph, dest(m.pos, course, 150.0), exclude=ctx["on_runway"])
    path = route(graph, nodes, exit_node, gate["index"], ctx["on_runway"]) or [gate["pos"]]
    m.follow(path, 15.0, accel=1.5, turn=25.0, alt_of=lambda p: elev, stop_at_end=True, capture=10.0)
    m.hold(DURATION)
    return m.samples, t_touch


def holding_point(ctx, gate):
    """The taxiway node 120 m beside the threshold of the departure runway, on the gate's side of
    it (the way there does not cross the runway)."""
    thr, far, course, _length, _width = runway(ctx, DEPARTURE_RUNWAY)
    nodes, graph = ctx["nodes"], ctx["graph"]
    side = 90.0 if line_offsets(gate["pos"], thr, far)[1] > 0 else -90.0
    return nearest_node(nodes, graph, dest(thr, (course + side) % 360.0, 120.0), exclude=ctx["on_runway"])


def departure(ctx, takeoff_at, gate, dest_pos, wait):
    thr, far, course, _length, _width = runway(ctx, DEPARTURE_RUNWAY)
    elev = ctx["elev"]
    nodes, graph = ctx["nodes"], ctx["graph"]
    hold_node = holding_point(ctx, gate)
    m = Mover(gate["pos"], elev, gate["heading"], 0.0, 1)
    m.hold(wait)
    path = route(graph, nodes, gate["index"], hold_node, ctx["on_runway"]) or []
    m.follow(path, 15.0, accel=1.0, turn=25.0, alt_of=lambda p: elev, stop_at_end=True, capture=10.0)
    m.hold(20)
    # Line-up: onto the runway towards the centreline 40 m past the threshold, a turn of 25 m radius
    # onto it (8 kt, about 9 degrees a second), then along the centreline to a stop 120 m past the
    # threshold, the nose on the runway's course.
    _, across = line_offsets(m.pos, thr, far)
    radius, side = 25.0, (1.0 if across > 0 else -1.0)
    entry = dest(thr, course, 40.0)
    arc = [dest(dest(entry, course, radius * (1.0 - math.cos(a))), (course + 90.0 * side) % 360.0,
                radius * (1.0 - math.sin(a)))
           for a in (math.radians(d) for d in range(0, 91, 15))]
    m.follow(arc[:1], 8.0, accel=1.0, turn=10.0, alt_of=lambda p: elev, capture=6.0)
    m.runway = DEPARTURE_RUNWAY  # at the runway's edge
    m.follow(arc[1:], 8.0, accel=1.0, turn=10.0, alt_of=lambda p: elev, capture=6.0)
    m.track_line(thr, far, 6.0, 1.0, 10.0, lambda p: elev, lambda m: line_offsets(m.pos, thr, far)[0] >= 110.0,
                 gain=1.0)
    while m.gs > 0:
        m.step(0.0, 2.0, course, 2.0, elev)
    m.hold(10)
    t_roll = m.t
    # The take-off roll along the centreline to 150 kt, lift-off, the climb on the runway's course to
    # 1,500 ft above the field and the turn towards the destination.
    m.track_line(thr, far, 160.0, 3.0, 1.0, lambda p: elev, lambda m: m.gs >= 150.0)
    m.gnd = 0
    m.track_line(thr, far, 180.0, 1.0, 2.5, None, lambda m: m.alt - elev >= 1500.0, climb=2500.0)
    m.runway = None
    course_out = bearing(m.pos, dest_pos)
    for _ in range(900):
        agl = m.alt - elev
        if dist_m(m.pos, ctx["apt"]) > 16 * NM:
            break
        m.step(250.0 if agl > 3000 else 180.0, 1.0, course_out, 2.5, None, 2500.0 if m.alt < 12000 else 1200.0)
    return m.samples, t_roll


def gate_exit(ctx, gate):
    """The taxi route from a gate to the holding point of runway 10."""
    return route(ctx["graph"], ctx["nodes"], gate["index"], holding_point(ctx, gate), ctx["on_runway"]) or []


# Where a landing or a take-off may lie: within 30 m of the runway's centre line (half the width of
# a 60 m runway), and rolling fast along it only on its course.
CENTRE_LINE_M = 30.0
ROLL_TRACK_DEG = 5.0


def runway_faults(ctx, callsign, samples):
    """The faults of one flight's runway points: the samples tagged with a runway that lie over or
    on it, each within CENTRE_LINE_M of the centre line; touchdown and lift-off on the runway; a
    ground roll faster than 30 kt on the runway's course."""
    faults = []
    for i, (t, lat, lon, _alt, gs, trk, _vr, gnd, _hdg, ident) in enumerate(samples):
        if ident is None:
            continue
        thr, far, course, length, _width = runway(ctx, ident)
        along, across = line_offsets((lat, lon), thr, far)
        touch = i > 0 and samples[i - 1][7] != gnd
        if (0.0 <= along <= length or gnd or touch) and abs(across) > CENTRE_LINE_M:
            faults.append(f"{callsign} t={t:.0f}s runway {ident}: {abs(across):.0f} m off the centre line "
                          f"({along:.0f} m from the threshold)")
        if (gnd or touch) and not 0.0 <= along <= length:
            faults.append(f"{callsign} t={t:.0f}s runway {ident}: {'touchdown' if gnd else 'lift-off'} or "
                          f"roll {along:.0f} m from the threshold, off the runway")
        if gnd and gs > 30.0 and abs(angle_diff(course, trk)) > ROLL_TRACK_DEG:
            faults.append(f"{callsign} t={t:.0f}s runway {ident}: rolling at {gs:.0f} kt on track {trk:.0f}, "
                          f"the runway's course is {course:.0f}")
    return faults


def needs_pushback(gate, path):
    """The way out lies behind the nose: the aircraft is pushed back."""
    return len(path) > 1 and abs(angle_diff(gate["heading"], bearing(gate["pos"], path[1]))) > 90.0


def pushback_departure(ctx, leave_at, gate):
    """Stands at its gate from the start; at leave_at it is pushed back onto the taxiway (or pulls
    out when the way out lies ahead) and taxis towards runway 10."""
    elev = ctx["elev"]
    path = gate_exit(ctx, gate)
    m = Mover(gate["pos"], elev, gate["heading"], 0.0, 1)
    m.hold(leave_at)
    if needs_pushback(gate, path):
        # Pushed back along the way out as long as it lies behind the nose, onto the taxiway, the
        # nose turned to where the aircraft then taxis.
        k = 1
        while k + 1 < len(path) and abs(angle_diff(bearing(path[k - 1], path[k]),
                                                   bearing(path[k], path[k + 1]))) < 45.0:
            k += 1
        m.push_back(path[1:k + 1], bearing(path[k], path[k + 1]) if k + 1 < len(path) else gate["heading"])
        m.hold(15)  # engines start, the tug disconnects
        path = path[k + 1:]
    m.follow(path, 15.0, accel=1.0, turn=25.0, alt_of=lambda p: elev, stop_at_end=True, capture=10.0)
    return m.samples


def to_points(samples, shift):
    pts, last_t = [], None
    for (t, lat, lon, alt, gs, trk, vr, gnd, hdg, _runway) in samples:
        st = t + shift
        if st < 0 or st > DURATION:
            continue
        if round(st) % SAMPLE:
            continue
        if last_t is not None and round(st) == last_t:
            continue
        last_t = round(st)
        pts.append({"t": last_t, "lat": round(lat, 6), "lon": round(lon, 6), "alt": round(alt),
                    "gs": round(gs, 1), "trk": round(trk, 1), "vr": round(vr), "gnd": gnd,
                    "hdg": round(hdg, 1)})
    return pts


# ---- liveries ------------------------------------------------------------------------------

def livery_title(actype, airline):
    return f"Tavix Demo {actype} " + (AIRLINE_NAMES[airline] if airline else "House")


def write_community(folder):
    titles = []
    for actype, airlines in sorted(LIVERIES.items()):
        model = os.path.join(folder, f"tavix-demo-ai-{actype.lower()}", "SimObjects", "Airplanes",
                             f"TavixDemo_{actype}")
        os.makedirs(model, exist_ok=True)
        text = f"; Demo AI model package of Tavix (generated by scripts/make_demo_scenario.py)\n" \
               f"[VERSION]\nmajor = 1\nminor = 0\n\n[GENERAL]\natc_type = \"TT:ATCCOM.ATC_NAME {actype}.0.text\"\n" \
               f"icao_type_designator = \"{actype}\"\n\n"
        for i, airline in enumerate(airlines):
            title = livery_title(actype, airline)
            titles.append({"title": title, "model": actype})
            text += f"[FLTSIM.{i}]\ntitle = \"{title}\"\n"
            if airline:
                text += f"icao_airline = \"{airline}\"\n"
            text += "\n"
        with open(os.path.join(model, "aircraft.cfg"), "w", encoding="utf-8", newline="\r\n") as f:
            f.write(text)
        manifest = {"dependencies": [], "content_type": "AIRCRAFT", "title": f"Tavix demo {actype}",
                    "manufacturer": "", "creator": "Tavix demo", "package_version": "1.0.0",
                    "minimum_game_version": "1.0.0", "release_notes": {}}
        with open(os.path.join(folder, f"tavix-demo-ai-{actype.lower()}", "manifest.json"), "w") as f:
            json.dump(manifest, f, indent=2)
            f.write("\n")
    return titles


# ---- main ----------------------------------------------------------------------------------

def main():
    here = os.path.dirname(os.path.abspath(__file__))
    repo = os.path.dirname(here)
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--shared", default=os.path.join(repo, "..", "shared", "data"))
    ap.add_argument("--out", default=os.path.join(repo, "standins", "scenarios"))
    ap.add_argument("--community", default=os.path.join(repo, "standins", "demo", "Community"))
    ap.add_argument("--seed", type=int, default=11)
    ap.add_argument("--runways-only", action="store_true")
    args = ap.parse_args()
    rng = random.Random(args.seed)
    data = args.shared
    os.makedirs(args.out, exist_ok=True)
    write_runways(os.path.join(data, "runways_medium_large_airports.csv"), os.path.join(args.out, "demo_runways.csv"))
    if args.runways_only:
        return

    airports = read_airports(os.path.join(data, "ourairports_medium_large_airports.csv"))
    apt = airports[AIRPORT]
    ends = read_runway_ends(os.path.join(data, "runways_medium_large_airports.csv"), AIRPORT)
    nodes, gates, graph, on_runway = read_groundnet(os.path.join(data, "flightgear_groundnets",
                                                                 AIRPORT + ".groundnet.xml"))
    fleet = read_fleet(data)
    ctx = {"ends": ends, "nodes": nodes, "graph": graph, "on_runway": on_runway, "elev": apt[2],
           "apt": apt[:2]}

    gates = [g for g in gates if g["radius"] >= 20 and graph[g["index"]]]
    rng.shuffle(gates)
    user_gate = gates.pop()
    used = set()

    def pick(airline, types=None):
        choices = [x for x in fleet[airline] if x[0] not in used and (types is None or x[2] in types)]
        reg, hexid, actype = rng.choice(choices)
        used.add(reg)
        return reg, hexid, actype

    def flight(airline):
        return f"{airline}{rng.randint(100, 989)}"

    def other_end(airline):
        code = rng.choice(AIRLINES[airline])
        entry = airports["IATA:" + code]
        return code, (entry[0], entry[1])

    tracks, parked, notes, faults = [], [], [], []
    # Arrivals: touchdown times spread over the run; the first two have landed before it starts
    # and are taxiing in. Approach side alternates.
    arrival_airlines = ["ICE", "WZZ", "ICE", "BAW", "SAS", "ICE", "EIN", "NAX", "BAW", "KLM"]
    touchdowns = [-150, -60, 45, 110, 170, 235, 300, 370, 450, 530]
    for i, (airline, td) in enumerate(zip(arrival_airlines, touchdowns)):
        reg, hexid, actype = pick(airline)
        gate = gates.pop()
        samples, t_touch = arrival(ctx, td, gate, 6 + 3 * (i % 3), 1 if i % 2 else -1)
        frm, _ = other_end(airline)
        pts = to_points(samples, td - t_touch)
        if len(pts) < 2:
            continue
        faults += runway_faults(ctx, f"arrival {i + 1}", samples)
        tracks.append({"hex": hexid, "callsign": flight(airline), "reg": reg, "type": actype,
                       "from": frm, "to": "KEF", "points": pts})
        notes.append(f"arrival   {tracks[-1]['callsign']:8} {reg:7} {actype} touchdown t={td}s gate {gate['name']}")
    # Departures: parked at a gate when the run starts, then taxi out and take off.
    departure_airlines = ["ICE", "EZY", "BAW", "ICE", "WZZ", "SAS", "ICE", "KLM"]
    takeoffs = [95, 150, 215, 280, 340, 410, 480, 560]
    for i, (airline, to) in enumerate(zip(departure_airlines, takeoffs)):
        reg, hexid, actype = pick(airline)
        gate = gates.pop()
        code, pos = other_end(airline)
        samples, t_roll = departure(ctx, to, gate, pos, 20)
        faults += runway_faults(ctx, f"departure {i + 1}", samples)
        pts = to_points(samples, to - t_roll)
        # Before its first move the aircraft stands at its gate from the start of the run.
        if pts and pts[0]["t"] > 0:
            first = dict(pts[0], gs=0.0, vr=0)
            pts = [dict(first, t=t) for t in range(0, pts[0]["t"], SAMPLE)] + pts
        tracks.append({"hex": hexid, "callsign": flight(airline), "reg": reg, "type": actype,
                       "from": "KEF", "to": code, "points": pts})
        notes.append(f"departure {tracks[-1]['callsign']:8} {reg:7} {actype} take-off roll t={to}s to {code}")
    # Parked all run long: in the live feed (speed 0 at the gate) and in the parked-traffic list.
    for airline in ["ICE", "ICE", "BAW", "WZZ"]:
        reg, hexid, actype = pick(airline)
        gate = gates.pop()
        elev = ctx["elev"]
        pts = [{"t": t, "lat": round(gate["pos"][0], 6), "lon": round(gate["pos"][1], 6), "alt": round(elev),
                "gs": 0.0, "trk": round(gate["heading"], 1), "vr": 0, "gnd": 1, "hdg": round(gate["heading"], 1)}
               for t in range(0, DURATION + 1, SAMPLE)]
        callsign = flight(airline)
        tracks.append({"hex": hexid, "callsign": callsign, "reg": reg, "type": actype, "from": "", "to": "",
                       "points": pts})
        parked.append({"hex": hexid, "lat": round(gate["pos"][0], 6), "lon": round(gate["pos"][1], 6),
                       "gate": f"{AIRPORT}_{gate['name']}", "type": actype, "reg": reg, "callsign": callsign,
                       "since": START_EPOCH - 3600 * rng.randint(1, 9)})
        notes.append(f"parked    {callsign:8} {reg:7} {actype} gate {gate['name']}")

    # A departure that stands at its gate until late in the run, then is pushed back and taxis out:
    # the aircraft standing at their gates when the program starts are live traffic.
    reg, hexid, actype = pick("ICE", ["B752"])
    gate = next(g for g in reversed(gates) if needs_pushback(g, gate_exit(ctx, g)))
    gates.remove(gate)
    code, _ = other_end("ICE")
    pts = to_points(pushback_departure(ctx, PUSHBACK_AT, gate), 0)
    tracks.append({"hex": hexid, "callsign": flight("ICE"), "reg": reg, "type": actype, "from": "KEF", "to": code,
                   "points": pts})
    notes.append(f"departure {tracks[-1]['callsign']:8} {reg:7} {actype} pushback t={PUSHBACK_AT}s gate {gate['name']}")

    if faults:
        sys.exit("the landings and take-offs leave the runways, no scenario written:\n  " +
                 "\n  ".join(faults[:20]) + (f"\n  ... {len(faults) - 20} more" if len(faults) > 20 else ""))

    station = {"icao": AIRPORT, "lat": apt[0], "lon": apt[1], "qnh": 1009,
               "metar": f"{AIRPORT} 010000Z 16012KT 9999 FEW025 M02/M06 Q1009"}
    scenario = {"start": START_EPOCH, "licences": ["TEST-1234-ABCD-5678"], "expired": [], "type": 2,
                "tracks": tracks, "parked": parked, "stations": [station]}

    os.makedirs(args.out, exist_ok=True)
    with open(os.path.join(args.out, "demo_bikf_traffic.json"), "w") as f:
        f.write('{"start":%d,"licences":["TEST-1234-ABCD-5678"],"expired":[],"type":2,"tracks":[\n' % START_EPOCH)
        for i, tr in enumerate(tracks):
            head = {k: v for k, v in tr.items() if k != "points"}
            f.write(json.dumps(head, separators=(",", ":"))[:-1] + ',"points":[\n')
            f.write(",\n".join(" " + json.dumps(p, separators=(",", ":")) for p in tr["points"]))
            f.write("]}" + (",\n" if i + 1 < len(tracks) else "\n"))
        f.write('],"parked":' + json.dumps(parked, separators=(",", ":")) + ',\n"stations":' +
                json.dumps([station], separators=(",", ":")) + "}\n")

    titles = write_community(args.community)
    sim = {"app": {"name": "KittyHawk", "version": [11, 0, 282174, 999]}, "fps": 30, "flight": 3,
           "user": {"lat": round(user_gate["pos"][0], 6), "lon": round(user_gate["pos"][1], 6),
                    "altFt": round(apt[2]), "headingDeg": user_gate["heading"], "onGround": True,
                    "title": "Stand-in Boeing 737-800", "model": "B738", "atcId": "TF-USR"},
           "terrainFt": round(apt[2]), "titles": titles, "refused": [REFUSED_TITLE]}
    with open(os.path.join(args.out, "demo_bikf_sim.json"), "w") as f:
        json.dump(sim, f, indent=1)
        f.write("\n")
    print(f"{len(tracks)} tracks ({sum(len(t['points']) for t in tracks)} points), {len(parked)} parked, "
          f"{len(titles)} liveries; user at gate {user_gate['name']}")
    for line in notes:
        print("  " + line)


if __name__ == "__main__":
    main()
