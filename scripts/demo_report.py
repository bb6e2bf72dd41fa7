#!/usr/bin/env python3
"""The demo's watcher, summary and map; Python 3 standard library only.

  demo_report.py watch TRACE_DIR [--stop-at SECONDS --stop-pid PID]
      While tavix runs: the stand-in simulator rewrites TRACE_DIR/sim-world.txt (its objects with
      title, ATC id and position) every ten seconds; this keeps every object ever listed in
      TRACE_DIR/objects-seen.json, so aircraft removed during the run keep their names, and prints
      one progress line per new listing (aircraft live, parked and moving, frame rate). With
      --stop-at it sends SIGTERM to the innermost process under PID (tavix: the user closes the
      window) once the simulated time has reached SECONDS. Ends on SIGTERM.
  demo_report.py schedule --stock STOCK.xml --traffic SCENARIO.json --out LEARNED.xml
      Writes the stand schedules the demo starts with: the learned parking file of the stock
      airport, as Tavix writes it after a week there (see write_schedule).
  demo_report.py report --work WORK --traffic SCENARIO.json [--seconds N] [--status S]
      When tavix did not run (another Tavix holds the machine's single-instance lock: status 255
      and "Tavix is already running" in WORK/tavix-output.txt), says so and prints no summary.
      Otherwise prints the summary (aircraft in the feed, created, moving, removed, refused, no
      livery; every position write measured against the scenario at the same play-out time, see
      track_measure.py; CPU time, Tavix's own and the stand-in simulator's; where Log.txt is) and writes
      WORK/demo-map.svg: the user aircraft and every AI aircraft's track as the simulator saw it
      (every position write, TRACE_DIR/sim-positions-all.csv, coloured) over the recorded tracks of
      the traffic scenario (grey), with each aircraft's largest time-matched distance drawn (its
      simulator position and the recording's at that moment, joined and labelled in metres), in
      three panels with scale bars: the whole area, the airport (its runways from
      standins/scenarios/demo_runways.csv and stands from the park airport's parking file) and its
      apron, where each parked aircraft fills its stand; a numbered legend. The
      parked-traffic lines of the summary (park airport, stands, parked aircraft placed from the
      service's list and from the schedules, live aircraft that parked and that left a stand,
      parked aircraft removed at the exit) come from Log.txt and the trace.
"""
import argparse
import csv
import html
import json
import math
import os
import re
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import track_measure as tm  # noqa: E402

NM = 1852.0
OBJECT_LINE = re.compile(r'^(\d+) "(.*)" atc "(.*)" (-?[\d.]+),(-?[\d.]+) (-?[\d.]+) ft')
USER_LINE = re.compile(r'^frame (\d+) sim ([\d.]+) s, flight (\w+), user (-?[\d.]+),(-?[\d.]+)')
HERE = os.path.dirname(os.path.abspath(__file__))


def dist_m(a, b):
    return tm.dist_m(a[0], a[1], b[0], b[1])


def read_world(path, frame=None):
    """(user position or None, sim seconds, {object id: (title, atc id, lat, lon)}) of a sim-world.txt;
    the frame number goes into frame[0] when a list is given."""
    user, seconds, objects = None, 0.0, {}
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = USER_LINE.match(line)
                if m:
                    seconds, user = float(m.group(2)), (float(m.group(4)), float(m.group(5)))
                    if frame is not None:
                        frame[:] = [int(m.group(1))]
                    continue
                m = OBJECT_LINE.match(line)
                if m:
                    objects[int(m.group(1))] = (m.group(2), m.group(3), float(m.group(4)), float(m.group(5)))
    except OSError:
        pass
    return user, seconds, objects


def is_static(atc):
    """Parked aircraft placed by the program carry a callsign ending in '*'."""
    return atc.endswith("*")


# ---- watch ---------------------------------------------------------------------------------

def progress_line(seconds, objects, before, frames_per_second):
    """One short line: the simulated time, the aircraft live (moving), parked, and the frame rate."""
    live = [oid for oid, o in objects.items() if not is_static(o[1])]
    moving = sum(1 for oid in live if oid in before and dist_m(before[oid][2:4], objects[oid][2:4]) > 5.0)
    parked = len(objects) - len(live)
    rate = f", {frames_per_second:.0f} frames/s" if frames_per_second is not None else ""
    return f"[demo] {seconds:5.0f} s simulated: {len(live)} live aircraft ({moving} moving), {parked} parked{rate}"


def leaf_process(pid):
    """The innermost process started by pid (timeout runs time, which runs tavix): the one to close."""
    while True:
        try:
            with open(f"/proc/{pid}/task/{pid}/children") as f:
                children = f.read().split()
        except OSError:
            return pid
        if not children:
            return pid
        pid = int(children[0])


def watch(trace, stop_at=None, stop_pid=None):
    seen_path = os.path.join(trace, "objects-seen.json")
    seen, user, stamp = {}, None, None
    before, last_frame = {}, None
    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))

    def save():
        tmp = seen_path + ".tmp"
        with open(tmp, "w") as f:
            json.dump({"user": user, "objects": seen}, f, indent=1)
        os.replace(tmp, seen_path)

    while True:
        world = os.path.join(trace, "sim-world.txt")
        try:
            mtime = os.stat(world).st_mtime_ns
        except OSError:
            mtime = None
        if mtime is not None and mtime != stamp:
            stamp = mtime
            frame = []
            u, seconds, objects = read_world(world, frame)
            if u and abs(u[0]) + abs(u[1]) > 0.1:  # 0,0: the simulator's menu, after the quit
                user = u
            for oid, (title, atc, lat, lon) in objects.items():
                entry = seen.setdefault(str(oid), {"title": title, "atc": atc, "first": seconds})
                entry["last"] = seconds
                entry["pos"] = [lat, lon]
            save()
            rate = None
            if frame and last_frame:
                rate = (frame[0] - last_frame[0]) / max(time.time() - last_frame[1], 1e-3)
            if frame:
                last_frame = (frame[0], time.time())
            if u and abs(u[0]) + abs(u[1]) > 0.1:
                print(progress_line(seconds, objects, before, rate), flush=True)
            before = objects
            if stop_at is not None and stop_pid and seconds >= stop_at:
                try:
                    os.kill(leaf_process(stop_pid), signal.SIGTERM)
                except OSError:
                    pass
                stop_pid = None
        if stop:
            save()
            return
        time.sleep(0.5)


# ---- report --------------------------------------------------------------------------------

def positions_path(trace):
    """Every position write when the stand-in logged them all; else its sampled log, which skips
    writes whenever its ring of samples fills between two saves."""
    every = os.path.join(trace, "sim-positions-all.csv")
    return every if os.path.exists(every) else os.path.join(trace, "sim-positions.csv")


def read_positions(path):
    tracks = {}
    try:
        with open(path, newline="") as f:
            for r in csv.DictReader(f):
                tracks.setdefault(int(r["object"]), []).append(
                    (int(r["frame"]), float(r["lat"]), float(r["lon"]), float(r["alt_ft"])))
    except OSError:
        pass
    return tracks


def thinned(points, metres=5.0):
    """The points of a line a few metres apart, its ends kept: a map of every write stays small."""
    out = points[:1]
    for p in points[1:-1]:
        if dist_m(out[-1], p) >= metres:
            out.append(p)
    return out + points[-1:] if len(points) > 1 else out


def nice_length(metres):
    """The largest 1, 2 or 5 times a power of ten not above metres."""
    if metres <= 0:
        return 1.0
    power = 10.0 ** math.floor(math.log10(metres))
    return max(step * power for step in (1.0, 2.0, 5.0) if step * power <= metres)


def scale_bar(x, y, metre):
    """A scale bar at (x, y), about a fifth of 500 px long, in metres or kilometres."""
    length = nice_length(100.0 / metre)
    px = length * metre
    text = f"{length / 1000:g} km" if length >= 1000 else f"{length:g} m"
    return [f'<g font-family="sans-serif" font-size="11"><rect x="{x - 4:.1f}" y="{y - 16:.1f}" '
            f'width="{px + 50:.1f}" height="24" fill="#ffffff" fill-opacity="0.8"/>'
            f'<path d="M{x:.1f},{y - 5:.1f} V{y:.1f} H{x + px:.1f} V{y - 5:.1f}" fill="none" stroke="#000" '
            f'stroke-width="1.5"/><text x="{x + px + 5:.1f}" y="{y + 1:.1f}">{text}</text></g>']


def svg_map(path, user, feed, sim, names, airport_box, worst=None, title="Around the user aircraft (5 km)",
            airport=None, apron_box=None):
    """Three panels: the whole area, the airport and its apron (the stands that hold parked aircraft,
    larger), with a legend. feed: {callsign: [(lat, lon)]}; sim: {id: [(lat, lon)]}; worst: {id:
    (metres, second, sim lat, sim lon, recorded lat, recorded lon)}, each aircraft's largest
    time-matched distance: a dot in the aircraft's colour where the simulator had it, a ring where the
    recording had it at that moment, joined, with the distance (lag along the track shows as a gap
    along the line); airport: the layers of airport_layers() (runways and stands under the tracks,
    each parked aircraft as a square filling its stand). Aircraft are numbered; the legend names them,
    and labels are placed where they overlap no other label or mark."""
    palette = ["#d62728", "#1f77b4", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b", "#e377c2", "#17becf",
               "#bcbd22", "#7f7f7f", "#393b79", "#637939", "#8c6d31", "#843c39", "#7b4173"]
    airport = airport or {"runways": [], "stands": [], "parked": []}
    worst = worst or {}
    everything = [p for pts in list(feed.values()) + list(sim.values()) for p in pts] + ([user] if user else [])
    if not everything:
        everything = [(0.0, 0.0)]
    lat0 = sum(p[0] for p in everything) / len(everything)
    k = math.cos(math.radians(lat0))
    # Numbers: the moving (traced) aircraft first, then the parked ones.
    number, legend, colours = {}, [], {}
    for i, oid in enumerate(sorted(sim)):
        number[oid] = len(number) + 1
        colours[oid] = palette[i % len(palette)]
        legend.append((number[oid], colours[oid], names.get(oid, str(oid)), "track"))
    for (oid, label, lat, lon, kind) in airport["parked"]:
        if oid not in number:
            number[oid] = len(number) + 1
            legend.append((number[oid], PARKED_COLOURS[kind], label, kind))
    stand_radius = {}
    for (name, la, lo, radius_m) in airport["stands"]:
        stand_radius[(round(la, 5), round(lo, 5))] = radius_m

    def panel(x0, y0, title, box, size, stands, label_parked):
        (la1, lo1, la2, lo2) = box
        w = (lo2 - lo1) * k
        h = la2 - la1
        scale = size / max(w, h, 1e-9)
        metre = scale / 111120.0  # pixels per metre

        def xy(p):
            return (x0 + 20 + (p[1] - lo1) * k * scale, y0 + 60 + (la2 - p[0]) * scale)

        def inside(x, y):
            return x0 + 20 <= x <= x0 + 20 + w * scale and y0 + 60 <= y <= y0 + 60 + h * scale

        out = [f'<g><rect x="{x0 + 20}" y="{y0 + 60}" width="{w * scale:.1f}" height="{h * scale:.1f}" '
               f'fill="#f4f7fb" stroke="#999"/>',
               f'<text x="{x0 + 20}" y="{y0 + 50}" font-size="15" font-family="sans-serif">{html.escape(title)}</text>',
               f'<clipPath id="c{x0}_{y0}"><rect x="{x0 + 20}" y="{y0 + 60}" width="{w * scale:.1f}" '
               f'height="{h * scale:.1f}"/></clipPath><g clip-path="url(#c{x0}_{y0})">']
        marks, obstacles = [], []  # labels: (x, y, text, colour); boxes labels must not cover
        for (la, lo, lb, lob, width_m, ident) in airport["runways"]:
            (x1, y1), (x2, y2) = xy((la, lo)), xy((lb, lob))
            out.append(f'<line x1="{x1:.1f}" y1="{y1:.1f}" x2="{x2:.1f}" y2="{y2:.1f}" stroke="#8a9099" '
                       f'stroke-width="{max(2.0, width_m * metre):.1f}"/>')
            if stands:
                # The name beside the runway's first quarter, clear of the middle where runways cross.
                xm, ym = x1 + (x2 - x1) * 0.25, y1 + (y2 - y1) * 0.25
                marks.append((xm, ym, ident, "#555"))
        if stands:
            for (name, la, lo, radius_m) in airport["stands"]:
                x, y = xy((la, lo))
                out.append(f'<circle cx="{x:.1f}" cy="{y:.1f}" r="{max(1.5, radius_m * metre):.1f}" '
                           f'fill="#ffffff" stroke="#b8c0ca" stroke-width="0.8"/>')
        for pts in feed.values():
            if len(pts) > 1:
                d = " ".join(f"{x:.1f},{y:.1f}" for x, y in map(xy, pts))
                out.append(f'<polyline points="{d}" fill="none" stroke="#b0b0b0" stroke-width="3" '
                           f'stroke-dasharray="6 3"/>')
        for oid, pts in sorted(sim.items()):
            colour = colours[oid]
            d = " ".join(f"{x:.1f},{y:.1f}" for x, y in map(xy, pts))
            if len(pts) > 1:
                out.append(f'<polyline points="{d}" fill="none" stroke="{colour}" stroke-width="1.6"/>')
            x, y = xy(pts[-1])
            out.append(f'<circle cx="{x:.1f}" cy="{y:.1f}" r="3" fill="{colour}"/>')
            obstacles.append((x - 3, y - 3, x + 3, y + 3))
            if inside(x, y):
                marks.append((x, y, str(number[oid]), colour))
        for (oid, label, lat, lon, kind) in airport["parked"]:
            x, y = xy((lat, lon))
            colour = PARKED_COLOURS[kind]
            # The aircraft fills its stand: a square inside the stand's circle (at least 5 px).
            half = max(2.5, stand_radius.get((round(lat, 5), round(lon, 5)), 20.0) * metre * 0.7)
            out.append(f'<rect x="{x - half:.1f}" y="{y - half:.1f}" width="{2 * half:.1f}" height="{2 * half:.1f}" '
                       f'fill="{colour}" stroke="#fff" stroke-width="0.8"/>')
            obstacles.append((x - half, y - half, x + half, y + half))
            if label_parked and inside(x, y):
                marks.append((x, y, str(number[oid]), colour))
        for oid, (metres, second, slat, slon, rlat, rlon) in sorted(worst.items()):
            if oid not in colours:
                continue
            (x1, y1), (x2, y2) = xy((slat, slon)), xy((rlat, rlon))
            colour = colours[oid]
            out.append(f'<line x1="{x1:.1f}" y1="{y1:.1f}" x2="{x2:.1f}" y2="{y2:.1f}" stroke="#000" '
                       f'stroke-width="1.4" stroke-dasharray="3 2"/>'
                       f'<circle cx="{x2:.1f}" cy="{y2:.1f}" r="4" fill="#fff" stroke="{colour}" stroke-width="2"/>'
                       f'<circle cx="{x1:.1f}" cy="{y1:.1f}" r="4" fill="{colour}" stroke="#000" stroke-width="1"/>')
            obstacles += [(x1 - 4, y1 - 4, x1 + 4, y1 + 4), (x2 - 4, y2 - 4, x2 + 4, y2 + 4)]
            if inside(x1, y1) and (metres * metre >= 6 or stands):
                marks.append((x1, y1, f"{number[oid]}: {metres:.0f} m", colour))
        if user:
            x, y = xy(user)
            out.append(f'<path d="M{x:.1f},{y - 8:.1f} L{x + 7:.1f},{y + 6:.1f} L{x - 7:.1f},{y + 6:.1f} Z" '
                       f'fill="#000"/>')
            obstacles.append((x - 7, y - 8, x + 7, y + 6))
            marks.append((x, y, "you", "#000"))
        out += place_labels(marks, obstacles)
        out.append("</g>")
        out += scale_bar(x0 + 32, y0 + 60 + h * scale - 12, metre)
        out.append("</g>")
        return out, w * scale, h * scale

    lats = [p[0] for p in everything]
    lons = [p[1] for p in everything]
    pad = 0.01
    whole = (min(lats) - pad, min(lons) - pad / k, max(lats) + pad, max(lons) + pad / k)
    left, w1, h1 = panel(0, 0, "Simulator (colour) over the feed (grey)", whole, 560.0, False, False)
    right, w2, h2 = panel(int(w1) + 40, 0, title, airport_box, 760.0, True, apron_box is None)
    parts = left + right
    y_row2 = int(max(h1, h2) + 80)
    h3 = 0.0
    if apron_box:
        # As wide as the two panels above, at most 640 px tall.
        aw, ah = (apron_box[3] - apron_box[1]) * k, apron_box[2] - apron_box[0]
        size = min((w1 + w2 + 20.0) * max(aw, ah) / max(aw, 1e-9), 640.0 * max(aw, ah) / max(ah, 1e-9))
        apron, w3, h3 = panel(0, y_row2, "The apron: parked aircraft at their stands", apron_box, size, True, True)
        parts += apron
    x_legend = int(w1 + w2 + 80)
    rows = [f'<text x="{x_legend}" y="50" font-size="15" font-family="sans-serif">Aircraft</text>']
    kinds = {"track": "moved (its track)", "pt": "parked, service's list", "schedule": "parked, stand schedule"}
    for row, (n, colour, label, kind) in enumerate(legend):
        y = 72 + row * 15
        rows.append(f'<text x="{x_legend}" y="{y}" font-size="11" font-family="sans-serif" fill="{colour}">'
                    f'{n:>2}  {html.escape(label)}</text><text x="{x_legend + 110}" y="{y}" font-size="11" '
                    f'font-family="sans-serif" fill="#555">{kinds[kind]}</text>')
    y = 72 + len(legend) * 15 + 12
    notes = ["you: the user aircraft (black triangle); grey bars: runways; circles: stands;",
             "squares: parked aircraft at their stands (blue: service's list, green: stand schedule);",
             "filled dot and ring joined: where an aircraft was farthest from the recording,",
             "the dot its simulator position, the ring the recording's at the same moment"]
    for i, note in enumerate(notes):
        rows.append(f'<text x="{x_legend}" y="{y + i * 14}" font-size="11" font-family="sans-serif">'
                    f'{html.escape(note)}</text>')
    width = x_legend + 520
    height = int(max(y_row2 + 60 + h3 + 30 if apron_box else max(h1, h2) + 90, y + 70))
    with open(path, "w", encoding="utf-8") as f:
        f.write(f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
                f'viewBox="0 0 {width} {height}">\n<rect width="100%" height="100%" fill="white"/>\n')
        f.write("\n".join(parts + rows))
        f.write("\n</svg>\n")


def place_labels(marks, obstacles=()):
    """Texts beside their marks: each tries places around its mark, nearest first, until it covers no
    other label and no obstacle (marks, squares); one set farther away gets a thin line to its mark.
    Marks with the most neighbours are placed first."""
    taken, out = list(obstacles), []

    def free(box):
        return all(box[2] < b[0] or box[0] > b[2] or box[3] < b[1] or box[1] > b[3] for b in taken)

    def crowd(m):
        return -sum(1 for o in marks if abs(o[0] - m[0]) < 40 and abs(o[1] - m[1]) < 40)

    for (x, y, text, colour) in sorted(marks, key=crowd):
        wide, high = 6.2 * len(text) + 2, 11
        box, far = None, False
        for ring in (6, 12, 20, 30, 44, 60, 80):
            for step in range(16):
                a = math.radians(-45 + step * 22.5)
                cx, cy = x + ring * math.cos(a), y - ring * math.sin(a)
                # The text's box lies on the side of the mark the direction points to.
                bx = cx if math.cos(a) > 0.3 else (cx - wide if math.cos(a) < -0.3 else cx - wide / 2)
                by = cy - high if math.sin(a) > 0.3 else (cy if math.sin(a) < -0.3 else cy - high / 2)
                cand = (bx, by, bx + wide, by + high)
                if free(cand):
                    box, far = cand, ring > 20
                    break
            if box:
                break
        if box is None:
            box = (x + 5, y - 14, x + 5 + wide, y - 3)
        taken.append(box)
        if far:
            ex = min(max(x, box[0]), box[2])
            ey = min(max(y, box[1]), box[3])
            out.append(f'<line x1="{x:.1f}" y1="{y:.1f}" x2="{ex:.1f}" y2="{ey:.1f}" stroke="{colour}" '
                       f'stroke-width="0.6"/>')
        out.append(f'<text x="{box[0] + 1:.1f}" y="{box[3] - 1.5:.1f}" font-size="10" font-weight="bold" '
                   f'font-family="sans-serif" fill="{colour}" stroke="#fff" stroke-width="2.5" '
                   f'paint-order="stroke">{html.escape(text)}</text>')
    return out


# ---- parked traffic ------------------------------------------------------------------------

PARKED_COLOURS = {"pt": "#1f5fa8", "schedule": "#2e8b57"}


def read_stands(path):
    """The stands of a parking file: [(name, lat, lon, radius in metres)]."""
    stands = []
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError:
        return stands
    for m in re.finditer(r"<parkpos ([^>]*)>", text):
        attrs = dict(re.findall(r'(\w+)="([^"]*)"', m.group(1)))
        try:
            stands.append((attrs.get("id", ""), float(attrs["latitude"]), float(attrs["longitude"]),
                           float(attrs.get("radius", "20"))))
        except (KeyError, ValueError):
            continue
    return stands


def read_runways(icao):
    """The runways of the airport from the demo's OurAirports subset: [(lat, lon, lat, lon, width m, "01/19")]."""
    out = []
    try:
        with open(os.path.join(HERE, "..", "standins", "scenarios", "demo_runways.csv"), newline="") as f:
            for r in csv.DictReader(f):
                if r["airport_icao"] == icao:
                    out.append((float(r["le_latitude_deg"]), float(r["le_longitude_deg"]), float(r["he_latitude_deg"]),
                                float(r["he_longitude_deg"]), float(r["width_ft"] or 150) * 0.3048,
                                f'{r["le_ident"]}/{r["he_ident"]}'))
    except (OSError, ValueError, KeyError):
        pass
    return out


def parking_file(work, icao):
    """The park airport's parking file as the program downloaded it, else the download tree's copy."""
    for root, _dirs, files in os.walk(os.path.join(work, "run", "airports")):
        if icao + ".xml" in files and "learned" not in root:
            return os.path.join(root, icao + ".xml")
    return os.path.join(HERE, "..", "standins", "download_server", "MSFS", "archive", "stock", icao + ".xml")


def parked_facts(work, log, created, final_objects, scenario, positions, at_exit):
    """What the run did with parked traffic, from Log.txt and the trace (positions: read_positions;
    at_exit: the objects of the watcher's last sample)."""
    facts = {"airport": None, "stands": [], "stands_read": 0, "pt": [], "schedule": [], "arrived": [],
             "left": [], "removed_at_exit": 0, "static_at_exit": 0, "runways": []}
    m = re.search(r"The park airport is (\w+)( \(\w*\))?", log)
    if not m:
        return facts
    facts["airport"] = m.group(1) + (m.group(2) or "")
    icao = m.group(1)
    m = re.search(r"num_parkpos\s*: (\d+)", log)
    facts["stands_read"] = int(m.group(1)) if m else 0
    facts["stands"] = read_stands(parking_file(work, icao))
    facts["runways"] = read_runways(icao)
    service = {p["callsign"] for p in scenario.get("parked", [])}
    for oid, e in sorted(created.items()):
        atc = e.get("atc", "")
        if not is_static(atc):
            continue
        facts["pt" if atc[:-1] in service else "schedule"].append((oid, atc, e))
        if oid in at_exit:
            facts["static_at_exit"] += 1
            facts["removed_at_exit"] += 0 if oid in final_objects else 1
    facts["arrived"] = re.findall(r"^\S+\s*: (\S+)\s+arrived at stand", log, re.M)
    # A live aircraft left a stand when its first traced position lies on a stand and a later one
    # lies 100 m or more away from it.
    for oid, pts in positions.items():
        atc = created.get(oid, {}).get("atc", "")
        if not pts or is_static(atc):
            continue
        start = (pts[0][1], pts[0][2])
        on_stand = any(dist_m(start, (s[1], s[2])) <= max(s[3], 15.0) for s in facts["stands"])
        if on_stand and any(dist_m(start, p[1:3]) >= 100.0 for p in pts):
            facts["left"].append(atc)
    return facts


def parked_summary(facts):
    """The summary's parked-traffic lines."""
    if not facts["airport"]:
        return ["park airport:                 none (no airport of the list in sight)"]
    pt, sched = facts["pt"], facts["schedule"]
    lines = [f"park airport:                 {facts['airport']}, {facts['stands_read']} stands read",
             f"parked aircraft placed:       {len(pt) + len(sched)}: {len(pt)} from the service's list" +
             (" (" + ", ".join(a for _, a, _ in pt) + ")" if pt else "") +
             f", {len(sched)} from the stand schedules" + (" (" + ", ".join(a for _, a, _ in sched) + ")" if sched else ""),
             f"live aircraft that parked:    {len(facts['arrived'])}" +
             (": " + ", ".join(facts["arrived"]) if facts["arrived"] else ""),
             f"live aircraft that left a stand: {len(facts['left'])}" +
             (": " + ", ".join(facts["left"]) if facts["left"] else ""),
             f"parked aircraft removed at the exit: {facts['removed_at_exit']} of {facts['static_at_exit']}"]
    return lines


def stands_box(facts, user):
    """The airport panel: the park airport's stands and the user aircraft, 150 m around them."""
    lats = [st[1] for st in facts["stands"]] + [user[0]]
    lons = [st[2] for st in facts["stands"]] + [user[1]]
    d_lat = 150.0 / 111120.0
    d_lon = d_lat / math.cos(math.radians(user[0]))
    box = (min(lats) - d_lat, min(lons) - d_lon, max(lats) + d_lat, max(lons) + d_lon)
    return box, f"{facts['airport']}: runways, stands and parked aircraft"


def apron_box(layers, ends=()):
    """The apron panel: the parked aircraft and the live aircraft that ended on a stand (ends: the last
    positions of the tracks) within 800 m of the parked aircraft's median position (the main apron;
    one farther away is still drawn on the airport panel), 70 m around them; None without any."""
    pts = [(lat, lon) for (_oid, _label, lat, lon, _kind) in layers["parked"]]
    if not pts:
        return None
    mid = (sorted(p[0] for p in pts)[len(pts) // 2], sorted(p[1] for p in pts)[len(pts) // 2])
    pts += [e for e in ends if any(dist_m(e, (s[1], s[2])) <= max(s[3], 15.0) for s in layers["stands"])]
    near = [p for p in pts if dist_m(p, mid) <= 800.0]
    d_lat = 70.0 / 111120.0
    d_lon = d_lat / math.cos(math.radians(mid[0]))
    return (min(p[0] for p in near) - d_lat, min(p[1] for p in near) - d_lon,
            max(p[0] for p in near) + d_lat, max(p[1] for p in near) + d_lon)


def airport_layers(facts, created):
    """The map's airport layers: runways, stands and the parked aircraft at their stands."""
    parked = []
    for kind in ("pt", "schedule"):
        for oid, atc, e in facts[kind]:
            if e.get("pos"):
                parked.append((oid, atc, e["pos"][0], e["pos"][1], kind))
    return {"runways": facts["runways"], "stands": facts["stands"], "parked": parked}


def did_not_run(work, status):
    """The reason tavix ended before it opened its log, or None when it ran."""
    output = ""
    try:
        with open(os.path.join(work, "tavix-output.txt"), encoding="utf-8", errors="replace") as f:
            output = f.read()
    except OSError:
        pass
    if "Tavix is already running" in output:
        return ("another Tavix is already running on this machine (tavix ended at once with status %d, "
                "that is -1); end it and run the demo again" % status)
    if status != 0 and not os.path.exists(os.path.join(work, "run", "Log.txt")):
        lines = [line for line in output.splitlines() if line.strip()]
        return "tavix ended with status %d before it wrote Log.txt%s" % (
            status, (": " + lines[-1]) if lines else "")
    return None


def read_number(path, count=1):
    """The sum of the first count numbers of a text file; None when it is missing or not numbers."""
    try:
        with open(path) as f:
            return sum(float(v) for v in f.read().split()[:count])
    except (OSError, ValueError):
        return None


def cpu_lines(work, trace, seconds):
    """CPU time of the run: the process's (WORK/cpu.txt, user and system seconds by GNU time), the
    stand-in simulator's own (TRACE_DIR/sim-cpu.txt; it runs on Tavix's threads and meters itself)
    and Tavix's own (the difference), each also as a share of one core over the run."""
    total = read_number(os.path.join(work, "cpu.txt"), 2)
    if total is None or seconds <= 0:
        return []
    lines = [f"CPU time: {total:.2f} s for {seconds:.0f} simulated s = "
             f"{total * 60.0 / seconds:.2f} s per simulated minute, {100.0 * total / seconds:.2f} % of one core"]
    standin = read_number(os.path.join(trace, "sim-cpu.txt"))
    if standin is not None:
        own = max(total - standin, 0.0)
        lines.append(f"  Tavix's own: {own:.2f} s = {100.0 * own / seconds:.2f} % of one core; "
                     f"the stand-in simulator: {standin:.2f} s = {100.0 * standin / seconds:.2f} %")
    return lines


def swallow_counts(log_path):
    """The exit line of Log.txt that counts the records each acceptance rule swallowed, without its
    label ("respawning or removed 0, same record 812, ..."); None when the log holds none."""
    marker = "Records swallowed by rule:"
    try:
        with open(log_path, encoding="utf-8", errors="replace") as f:
            lines = [line for line in f if marker in line]
    except OSError:
        return None
    return lines[-1].split(marker, 1)[1].strip() if lines else None


def report(args):
    work = args.work
    trace = os.path.join(work, "trace")
    log_path = os.path.join(work, "run", "Log.txt")
    reason = did_not_run(work, args.status)
    if reason:
        print("== no summary: " + reason)
        return None
    with open(args.traffic, encoding="utf-8") as f:
        scenario = json.load(f)
    seen = {}
    user = None
    try:
        with open(os.path.join(trace, "objects-seen.json")) as f:
            s = json.load(f)
            seen, user = s.get("objects", {}), s.get("user")
    except (OSError, ValueError):
        pass
    final_user, final_seconds, final_objects = read_world(os.path.join(trace, "sim-world.txt"))
    # After the quit the simulator is back in its menu, at 0,0: the position in flight counts.
    if final_user and abs(final_user[0]) + abs(final_user[1]) > 0.1:
        user = final_user
    positions = read_positions(positions_path(trace))
    log = ""
    try:
        with open(log_path, encoding="utf-8", errors="replace") as f:
            log = f.read()
    except OSError:
        pass

    # The feed: the scenario's aircraft inside the query box (the lateral range around the user
    # aircraft, as saved in parameters.xml) during the scenario time the run covered.
    covered = (args.seconds or final_seconds) + 30.0
    range_nm = 40.0
    try:
        with open(os.path.join(work, "roaming", "Tavix", "parameters.xml"), encoding="utf-8") as f:
            m = re.search(r'name="LATERAL_RANGE" value="(\d+)"', f.read())
            if m:
                range_nm = float(m.group(1))
    except OSError:
        pass
    in_feed, feed_lines = set(), {}
    by_callsign = {}
    for tr in scenario["tracks"]:
        pts = [(p["lat"], p["lon"]) for p in tr["points"] if p["t"] <= covered]
        feed_lines[tr["callsign"]] = pts
        by_callsign[tr["callsign"]] = tr
        # The program asks the service for the range plus 10 km.
        d_lat = (range_nm + 10000.0 / 1852.0) / 60.0
        d_lon = d_lat / math.cos(math.radians(user[0])) if user else 0.0
        if user and any(abs(p[0] - user[0]) <= d_lat and abs(p[1] - user[1]) <= d_lon for p in pts):
            in_feed.add(tr["callsign"])

    created = {}
    for oid, e in seen.items():
        created[int(oid)] = e
    for oid in positions:
        created.setdefault(oid, {"title": "?", "atc": "?"})
    moving = {oid for oid, pts in positions.items()
              if len(pts) > 1 and max(dist_m(pts[0][1:3], p[1:3]) for p in pts) > 50.0}
    # The watcher samples the simulator's objects every few seconds: an object last seen before its
    # last sample was removed during the run; those of the last sample were there at the exit.
    last_seen = max((e.get("last", 0.0) for e in seen.values()), default=0.0)
    at_exit = {int(oid) for oid, e in seen.items() if e.get("last", 0.0) >= last_seen - 1.0}
    removed_early = {int(oid) for oid in seen} - at_exit
    refused = re.findall(r'(\S+) "([^"]*)" could not be created by your Sim!', log)
    nomatch = []
    m = re.search(r"\nNo match found for: \n(.*?)\n\n", log, re.S)
    if m:
        nomatch = [line.strip() for line in m.group(1).splitlines() if line.strip()]
    errors = [line for line in log.splitlines() if line.startswith("===> ")]

    # Every position write against the recording at the same play-out time: the traffic stand-in
    # replays on the wall clock from the moment it printed, looping over the scenario. A write plays
    # what the stand-in served 30 s before it; once that is the next loop (the aircraft are back at
    # the scenario's start, a jump the recording does not have), the writes are not measured.
    results, measured = [], {}
    t0 = None
    try:
        with open(os.path.join(work, "traffic-standin.txt")) as f:
            for line in f:
                m = re.match(r"replay clock 0 at ([\d.]+)", line)
                if m:
                    t0 = float(m.group(1))
    except OSError:
        pass
    all_path = os.path.join(trace, "sim-positions-all.csv")
    if t0 is not None and os.path.exists(all_path):
        # The feed's altitudes are pressure altitudes; the program flies them corrected to the QNH it
        # logs ("QNH 1009 hPa (BIKF)"), so the recording is measured with the same correction, and,
        # as a replay measures it, no lower than the field of an airport within 10 nm.
        qnh = re.findall(r"QNH (\d+) hPa", log)
        shift = (int(qnh[-1]) - 1013) * 27.0 if qnh else 0.0
        fields = list(tm.read_airports().values())
        tracks = [tm.Track.from_scenario(t, fields, alt_shift_ft=shift) for t in scenario["tracks"]]
        length = max((p["t"] for t in scenario["tracks"] for p in t["points"]), default=0.0) + 1.0
        measured = tm.read_positions(all_path, clock=lambda sim_s, wall_s: wall_s - t0)
        measured = {oid: [w for w in writes if w[0] - tm.DELAY < length] for oid, writes in measured.items()}
        measured = {oid: writes for oid, writes in measured.items() if writes}
        results = tm.measure(measured, {oid: e.get("atc", "") for oid, e in created.items()}, tracks)

    parked = parked_facts(work, log, created, final_objects, scenario, positions, at_exit)
    names = {oid: (e.get("atc") or "?") for oid, e in created.items()}
    airport_box = None
    if user:
        d_lat = 2500.0 / 110540.0
        d_lon = 2500.0 / (111320.0 * math.cos(math.radians(user[0])))
        airport_box = (user[0] - d_lat, user[1] - d_lon * 1.2, user[0] + d_lat, user[1] + d_lon * 1.2)
    sim_lines = {oid: thinned([(p[1], p[2]) for p in pts]) for oid, pts in positions.items()
                 if not is_static(names.get(oid, ""))}
    map_path = os.path.join(work, "demo-map.svg")
    title = "Around the user aircraft (5 km)"
    if parked["stands"] and user:
        airport_box, title = stands_box(parked, user)
    layers = airport_layers(parked, created)
    svg_map(map_path, user, {c: p for c, p in feed_lines.items() if c in in_feed}, sim_lines, names,
            airport_box or (0, 0, 1, 1), {r[0]: r[3]["worst"] for r in results if r[3]["worst"]}, title,
            airport=layers, apron_box=apron_box(layers, [pts[-1] for pts in sim_lines.values() if pts]))

    print("== summary")
    print(f"  aircraft in the feed ({range_nm:.0f} nm + 10 km box): {len(in_feed)}")
    print(f"  created in the simulator:     {len(created)}")
    for oid in sorted(created):
        e = created[oid]
        tr = by_callsign.get(e.get("atc"), {})
        print(f"    {oid:5} {e.get('atc', '?'):8} {tr.get('type', ''):5} {e.get('title', '?')}")
    print(f"  moving:                       {len(moving)}")
    print(f"  removed during the run:       {len(removed_early)}")
    print(f"  in the simulator at the end:  {len(final_objects)}")
    for line in parked_summary(parked):
        print("  " + line)
    print(f"  titles refused by the sim:    {len(refused)}" +
          (": " + ", ".join(f"{c} \"{t}\"" for c, t in refused) if refused else ""))
    print(f"  no livery installed:          {len(nomatch)}" + (": " + "; ".join(nomatch) if nomatch else ""))
    if results:
        print("  distance from the recording at the same play-out time (every position write of each "
              "aircraft's whole life):")
        for line in tm.table(results, []):
            print("    " + line)
        print("  " + tm.summary_line(results))
    else:
        print("  no position log to measure (trace/sim-positions-all.csv, replay clock in traffic-standin.txt)")
    swallowed = swallow_counts(log_path)
    print(f"  records swallowed by rule:    {swallowed if swallowed else 'not logged'}")
    for line in cpu_lines(work, trace, final_seconds):
        print("  " + line)
    print(f"  '===> ' lines in the log:     {len(errors)}")
    for line in errors[:10]:
        print("    " + line)
    print(f"  Log.txt: {log_path}" if os.path.exists(log_path) else f"  Log.txt: not written ({log_path})")
    print(f"  map:     {map_path}")


# ---- the demo's stand schedules ---------------------------------------------------------------

# Aircraft of the demo's airlines with an installed livery, as a week at Keflavik would have them.
SCHEDULED = [("ICE", "B752", "ICE612"), ("SAS", "B738", "SAS1594"), ("ICE", "B752", "ICE455"),
             ("EIN", "A320", "EIN1812"), ("NAX", "B738", "NAX7361"), ("ICE", "B752", "ICE531"),
             ("KLM", "B738", "KLM1297"), ("BAW", "A320", "BAW828")]


def write_schedule(stock, traffic, out, now=None):
    """The learned parking file of the stock airport: one real option per scheduled aircraft on a free
    gate (no track of the traffic scenario starts or ends there, no aircraft of the service's list
    stands there), for this weekday and the half-hours from two hours before now to two after."""
    with open(traffic, encoding="utf-8") as f:
        scenario = json.load(f)
    busy = [(p["lat"], p["lon"]) for p in scenario.get("parked", [])]
    for tr in scenario["tracks"]:
        busy += [(tr["points"][0]["lat"], tr["points"][0]["lon"]), (tr["points"][-1]["lat"], tr["points"][-1]["lon"])]
    with open(stock, encoding="utf-8") as f:
        text = f.read()
    gates = [s for s in read_stands(stock) if re.fullmatch(r"\d+", s[0])
             and all(dist_m((s[1], s[2]), b) > 60.0 for b in busy)]
    now = now or time.gmtime()
    day, slot = now.tm_wday + 1, now.tm_hour * 2 + (1 if now.tm_min >= 30 else 0)
    hours = ",".join(str(h) for h in range(max(0, slot - 4), min(47, slot + 4) + 1))
    chosen = {}
    for (airline, actype, callsign), gate in zip(SCHEDULED, gates[::2]):
        chosen[gate[0]] = f'\t\t<opt reg="" airl="{airline}" type="{actype}" day="{day}" hh="{hours}" cs="{callsign}" />'
    head = text[:text.index("<parkpositions>")]
    head = re.sub(r'<parameter name="num_parkpos" value="\d+" />', f'<parameter name="num_parkpos" value="{len(chosen)}" />', head)
    body = "".join(f'\t<parkpos id="{name}">\n{opt}\n\t</parkpos>\n' for name, opt in chosen.items())
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    with open(out, "w", encoding="utf-8") as f:
        f.write(head + "<parkpositions>\n" + body + "</parkpositions>\n")
    return len(chosen)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = ap.add_subparsers(dest="cmd", required=True)
    w = sub.add_parser("watch")
    w.add_argument("trace")
    w.add_argument("--stop-at", type=float)
    w.add_argument("--stop-pid", type=int)
    sc = sub.add_parser("schedule")
    sc.add_argument("--stock", required=True)
    sc.add_argument("--traffic", required=True)
    sc.add_argument("--out", required=True)
    r = sub.add_parser("report")
    r.add_argument("--work", required=True)
    r.add_argument("--traffic", required=True)
    r.add_argument("--seconds", type=float, default=0.0)
    r.add_argument("--status", type=int, default=0)
    args = ap.parse_args()
    if args.cmd == "watch":
        return watch(args.trace, args.stop_at, args.stop_pid)
    if args.cmd == "schedule":
        write_schedule(args.stock, args.traffic, args.out)
        return 0
    return report(args)


if __name__ == "__main__":
    sys.exit(main())
