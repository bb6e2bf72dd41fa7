#!/usr/bin/env python3
"""The demo's watcher, summary and map; Python 3 standard library only.

  demo_report.py watch TRACE_DIR
      While tavix runs: the stand-in simulator rewrites TRACE_DIR/sim-world.txt (its objects with
      title and ATC id) every ten seconds; this keeps every object ever listed in
      TRACE_DIR/objects-seen.json, so aircraft removed during the run keep their names. Ends on
      SIGTERM.
  demo_report.py report --work WORK --traffic SCENARIO.json [--seconds N] [--status S]
      When tavix did not run (another Tavix holds the machine's single-instance lock: status 255
      and "Tavix is already running" in WORK/tavix-output.txt), says so and prints no summary.
      Otherwise prints the summary (aircraft in the feed, created, moving, removed, refused, no
      livery; every position write measured against the scenario at the same play-out time, see
      track_measure.py; CPU time, Tavix's own and the stand-in simulator's; where Log.txt is) and writes
      WORK/demo-map.svg: the user aircraft and every AI aircraft's track as the simulator saw it
      (TRACE_DIR/sim-positions.csv, coloured) over the recorded tracks of the traffic scenario
      (grey), with each aircraft's largest time-matched distance drawn, the whole area and the
      airport enlarged.
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


def dist_m(a, b):
    la1, lo1, la2, lo2 = map(math.radians, (a[0], a[1], b[0], b[1]))
    h = math.sin((la2 - la1) / 2) ** 2 + math.cos(la1) * math.cos(la2) * math.sin((lo2 - lo1) / 2) ** 2
    return 2 * 6371008.8 * math.asin(min(1.0, math.sqrt(h)))


def read_world(path):
    """(user position or None, sim seconds, {object id: (title, atc id)}) of a sim-world.txt."""
    user, seconds, objects = None, 0.0, {}
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = USER_LINE.match(line)
                if m:
                    seconds, user = float(m.group(2)), (float(m.group(4)), float(m.group(5)))
                    continue
                m = OBJECT_LINE.match(line)
                if m:
                    objects[int(m.group(1))] = (m.group(2), m.group(3))
    except OSError:
        pass
    return user, seconds, objects


# ---- watch ---------------------------------------------------------------------------------

def watch(trace):
    seen_path = os.path.join(trace, "objects-seen.json")
    seen, user, stamp = {}, None, None
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
            u, seconds, objects = read_world(world)
            if u and abs(u[0]) + abs(u[1]) > 0.1:  # 0,0: the simulator's menu, after the quit
                user = u
            for oid, (title, atc) in objects.items():
                entry = seen.setdefault(str(oid), {"title": title, "atc": atc, "first": seconds})
                entry["last"] = seconds
            save()
        if stop:
            save()
            return
        time.sleep(0.5)


# ---- report --------------------------------------------------------------------------------

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


def svg_map(path, user, feed, sim, names, airport_box, worst=(), title="Around the user aircraft (5 km)"):
    """Two panels: the whole area and the airport. feed: {callsign: [(lat, lon)]}; sim: {id: [(lat, lon)]};
    worst: [(metres, second, sim lat, sim lon, recorded lat, recorded lon)], each aircraft's largest
    time-matched distance, drawn as a line from the simulator position to the recording's."""
    palette = ["#d62728", "#1f77b4", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b", "#e377c2", "#17becf",
               "#bcbd22", "#7f7f7f", "#393b79", "#637939", "#8c6d31", "#843c39", "#7b4173"]
    everything = [p for pts in list(feed.values()) + list(sim.values()) for p in pts] + ([user] if user else [])
    if not everything:
        everything = [(0.0, 0.0)]
    lat0 = sum(p[0] for p in everything) / len(everything)
    k = math.cos(math.radians(lat0))

    def panel(x0, title, box):
        (la1, lo1, la2, lo2) = box
        size = 560.0
        w = (lo2 - lo1) * k
        h = la2 - la1
        scale = size / max(w, h, 1e-9)

        def xy(p):
            return (x0 + 20 + (p[1] - lo1) * k * scale, 60 + (la2 - p[0]) * scale)

        out = [f'<g><rect x="{x0 + 20}" y="60" width="{w * scale:.1f}" height="{h * scale:.1f}" '
               f'fill="#f4f7fb" stroke="#999"/>',
               f'<text x="{x0 + 20}" y="50" font-size="15" font-family="sans-serif">{html.escape(title)}</text>',
               f'<clipPath id="c{x0}"><rect x="{x0 + 20}" y="60" width="{w * scale:.1f}" '
               f'height="{h * scale:.1f}"/></clipPath><g clip-path="url(#c{x0})">']
        for pts in feed.values():
            if len(pts) > 1:
                d = " ".join(f"{x:.1f},{y:.1f}" for x, y in map(xy, pts))
                out.append(f'<polyline points="{d}" fill="none" stroke="#b0b0b0" stroke-width="3" '
                           f'stroke-dasharray="6 3"/>')
        for i, (oid, pts) in enumerate(sorted(sim.items())):
            colour = palette[i % len(palette)]
            d = " ".join(f"{x:.1f},{y:.1f}" for x, y in map(xy, pts))
            if len(pts) > 1:
                out.append(f'<polyline points="{d}" fill="none" stroke="{colour}" stroke-width="1.6"/>')
            x, y = xy(pts[-1])
            out.append(f'<circle cx="{x:.1f}" cy="{y:.1f}" r="3" fill="{colour}"/>')
            out.append(f'<text x="{x + 4:.1f}" y="{y - 4:.1f}" font-size="10" font-family="sans-serif" '
                       f'fill="{colour}">{html.escape(names.get(oid, str(oid)))}</text>')
        for (metres, second, slat, slon, rlat, rlon) in worst:
            (x1, y1), (x2, y2) = xy((slat, slon)), xy((rlat, rlon))
            out.append(f'<line x1="{x1:.1f}" y1="{y1:.1f}" x2="{x2:.1f}" y2="{y2:.1f}" stroke="#000" '
                       f'stroke-width="1.2"/><circle cx="{x2:.1f}" cy="{y2:.1f}" r="2.5" fill="none" stroke="#000"/>'
                       f'<text x="{x2 + 4:.1f}" y="{y2 + 12:.1f}" font-size="10" font-family="sans-serif">'
                       f'{metres:.0f} m at {second:.0f} s</text>')
        if user:
            x, y = xy(user)
            out.append(f'<path d="M{x:.1f},{y - 8:.1f} L{x + 7:.1f},{y + 6:.1f} L{x - 7:.1f},{y + 6:.1f} Z" '
                       f'fill="#000"/><text x="{x + 9:.1f}" y="{y + 4:.1f}" font-size="11" '
                       f'font-family="sans-serif">user aircraft</text>')
        out.append("</g></g>")
        return out, w * scale, h * scale

    lats = [p[0] for p in everything]
    lons = [p[1] for p in everything]
    pad = 0.01
    whole = (min(lats) - pad, min(lons) - pad / k, max(lats) + pad, max(lons) + pad / k)
    left, w1, h1 = panel(0, "Simulator (colour) over the feed (grey)", whole)
    right, w2, h2 = panel(int(w1) + 40, title, airport_box)
    width = int(w1 + w2 + 80)
    height = int(max(h1, h2) + 90)
    with open(path, "w", encoding="utf-8") as f:
        f.write(f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
                f'viewBox="0 0 {width} {height}">\n<rect width="100%" height="100%" fill="white"/>\n')
        f.write("\n".join(left + right))
        f.write("\n</svg>\n")


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
    positions = read_positions(os.path.join(trace, "sim-positions.csv"))
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
        d_lat = range_nm / 60.0
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
    last_frame = max((pts[-1][0] for pts in positions.values()), default=0)
    removed_early = {oid for oid, pts in positions.items() if pts[-1][0] < last_frame - 300}
    refused = re.findall(r'(\S+) "([^"]*)" could not be created by your Sim!', log)
    nomatch = []
    m = re.search(r"\nNo match found for: \n(.*?)\n\n", log, re.S)
    if m:
        nomatch = [line.strip() for line in m.group(1).splitlines() if line.strip()]
    errors = [line for line in log.splitlines() if line.startswith("===> ")]

    # Every position write against the recording at the same play-out time: the traffic stand-in
    # replays on the wall clock from the moment it printed, looping over the scenario.
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
        tracks = [tm.Track.from_scenario(t) for t in scenario["tracks"]]
        length = max((p["t"] for t in scenario["tracks"] for p in t["points"]), default=0.0) + 1.0
        measured = tm.read_positions(all_path, clock=lambda sim_s, wall_s: (wall_s - t0) % length)
        results = tm.measure(measured, {oid: e.get("atc", "") for oid, e in created.items()}, tracks)

    names = {oid: (e.get("atc") or "?") for oid, e in created.items()}
    airport_box = None
    if user:
        d_lat = 2500.0 / 110540.0
        d_lon = 2500.0 / (111320.0 * math.cos(math.radians(user[0])))
        airport_box = (user[0] - d_lat, user[1] - d_lon * 1.2, user[0] + d_lat, user[1] + d_lon * 1.2)
    sim_lines = {oid: [(p[1], p[2]) for p in pts] for oid, pts in positions.items()}
    map_path = os.path.join(work, "demo-map.svg")
    svg_map(map_path, user, {c: p for c, p in feed_lines.items() if c in in_feed}, sim_lines, names,
            airport_box or (0, 0, 1, 1), [r[3]["worst"] for r in results if r[3]["worst"]])

    print("== summary")
    print(f"  aircraft in the feed ({range_nm:.0f} nm box):   {len(in_feed)}")
    print(f"  created in the simulator:     {len(created)}")
    for oid in sorted(created):
        e = created[oid]
        tr = by_callsign.get(e.get("atc"), {})
        print(f"    {oid:5} {e.get('atc', '?'):8} {tr.get('type', ''):5} {e.get('title', '?')}")
    print(f"  moving:                       {len(moving)}")
    print(f"  removed during the run:       {len(removed_early)}")
    print(f"  in the simulator when it quit: {len(final_objects)}")
    print(f"  titles refused by the sim:    {len(refused)}" +
          (": " + ", ".join(f"{c} \"{t}\"" for c, t in refused) if refused else ""))
    print(f"  no livery installed:          {len(nomatch)}" + (": " + "; ".join(nomatch) if nomatch else ""))
    if results:
        print("  distance from the recording at the same play-out time (every position write):")
        for line in tm.table(results, []):
            print("    " + line)
        print("  " + tm.summary_line(results))
    else:
        print("  no position log to measure (trace/sim-positions-all.csv, replay clock in traffic-standin.txt)")
    for line in cpu_lines(work, trace, final_seconds):
        print("  " + line)
    print(f"  '===> ' lines in the log:     {len(errors)}")
    for line in errors[:10]:
        print("    " + line)
    print(f"  Log.txt: {log_path}" if os.path.exists(log_path) else f"  Log.txt: not written ({log_path})")
    print(f"  map:     {map_path}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = ap.add_subparsers(dest="cmd", required=True)
    w = sub.add_parser("watch")
    w.add_argument("trace")
    r = sub.add_parser("report")
    r.add_argument("--work", required=True)
    r.add_argument("--traffic", required=True)
    r.add_argument("--seconds", type=float, default=0.0)
    r.add_argument("--status", type=int, default=0)
    args = ap.parse_args()
    if args.cmd == "watch":
        return watch(args.trace)
    return report(args)


if __name__ == "__main__":
    sys.exit(main())
