"""Measures simulator positions against recorded tracks at the same play-out time; Python 3
standard library only. Used by scripts/replay and scripts/demo_report.py.

The program plays a feed record out 30 s after it arrived, so the simulator position written at
scenario second s is compared with the recording interpolated (linearly) at s - 30: the horizontal
distance, the altitude difference (in the air only: recorded ground altitudes are the last airborne
value or none), and jumps (a step between two writes of one object faster than the aircraft could
move: faster than max(1.5 x, + 60 kt) the highest recorded ground speed within a minute, and longer
than 5 m). The phase of a write is the recording's at s - 30: taxi (on the ground below 40 kt),
take-off roll and landing roll (on the ground from 40 kt, before or after flying), climb and approach
(climbing or descending faster than 300 ft/min over 40 s), cruise. An aircraft is stuck when its
simulator position stays within 3 m for more than 30 s while the recording moves on by more than 150 m.
The first 30 s of each object's life are left out of the max figures (not of the medians). Spans
where the recording itself is bad (one position repeated for a minute or more at 30 kt or more) are
found, reported, and left out of the figures together with the 30 s after them; single points whose
altitude stands more than 2,000 ft off both neighbours are left out of the altitude figures; noisy
fixes (steps far beyond the recorded speed) are counted and kept.
"""
import bisect
import csv
import json
import math
import statistics

DELAY = 30.0
KT = 1852.0 / 3600.0  # m/s per knot
PHASES = ["taxi", "take-off roll", "climb", "cruise", "approach", "landing roll"]
GROUND_PHASES = {"taxi", "take-off roll", "landing roll"}


def dist_m(a_lat, a_lon, b_lat, b_lon):
    """The program's great circle: 6875.49 nm per radian of haversine arc, in metres."""
    r = math.pi / 180.0
    h = math.sin((b_lat - a_lat) * r / 2) ** 2 + \
        math.cos(a_lat * r) * math.cos(b_lat * r) * math.sin((b_lon - a_lon) * r / 2) ** 2
    return 6875.493541569878 * math.asin(min(1.0, math.sqrt(h))) * 1852.0


class Track:
    """One recorded aircraft: points (t, lat, lon, alt, gs, gnd) in scenario seconds, ascending."""

    def __init__(self, hexid, callsign, actype, points):
        self.hex, self.callsign, self.type = hexid, callsign, actype
        self.pts = sorted(points, key=lambda p: p[0])
        self.times = [p[0] for p in self.pts]
        self.bad = self._find_bad_spans()
        self.spikes = self._find_altitude_spikes()
        self._airborne = [t for (t, _, _, _, _, g) in self.pts if not g]

    @staticmethod
    def from_scenario(track):
        """A point counts at the time its position was seen ("seen", else "t"); a position
        repeated in later rows counts once, with its first row's values."""
        pts, seen = [], set()
        for p in track["points"]:
            t = p.get("seen", p["t"])
            if t in seen:
                continue
            seen.add(t)
            pts.append((t, p["lat"], p["lon"], p.get("alt", 0.0), p.get("gs", 0.0), bool(p.get("gnd", 0))))
        return Track(track["hex"], track.get("callsign", ""), track.get("type", ""), pts)

    def _find_bad_spans(self):
        """[(start, end, text)]: one position repeated at speed."""
        spans = []
        i, n = 0, len(self.pts)
        while i < n:
            j = i
            while j + 1 < n and dist_m(self.pts[i][1], self.pts[i][2], self.pts[j + 1][1], self.pts[j + 1][2]) < 1.0:
                j += 1
            if j > i:
                dur = self.pts[j][0] - self.pts[i][0]
                speed = statistics.median(p[4] for p in self.pts[i:j + 1])
                if dur >= 60.0 and speed >= 30.0:
                    spans.append((self.pts[i][0], self.pts[j][0],
                                  f"recording stale: one position for {dur:.0f} s at {speed:.0f} kt "
                                  f"(t {self.pts[i][0]:.0f}..{self.pts[j][0]:.0f} s)"))
            i = j + 1
        return spans

    def noise(self):
        """Steps of the recording far beyond its recorded speed (noisy fixes): kept in the
        figures, counted for the table."""
        n = 0
        for a, b in zip(self.pts, self.pts[1:]):
            d = dist_m(a[1], a[2], b[1], b[2])
            dt = b[0] - a[0]
            gs = max(a[4], b[4])
            n += d > 300.0 and (dt <= 0 or d / dt > max(2.0 * gs, gs + 200.0) * KT)
        return n

    def _find_altitude_spikes(self):
        """[(start, end)]: single points whose altitude stands more than 2,000 ft off both
        neighbours the same way (a wrong altitude in the recording), as the span between the
        neighbours."""
        out = []
        for a, b, c in zip(self.pts, self.pts[1:], self.pts[2:]):
            up, down = b[3] - a[3], b[3] - c[3]
            if not (b[5] or a[5] or c[5]) and abs(up) > 2000.0 and abs(down) > 2000.0 and (up > 0) == (down > 0):
                out.append((a[0], c[0]))
        return out

    def spike_at(self, t):
        return any(a < t < b for (a, b) in self.spikes)

    def bad_at(self, t):
        return any(a <= t <= b + DELAY for (a, b, _) in self.bad)

    def at(self, t):
        """(lat, lon, alt, gs, gnd) interpolated at scenario second t, None outside the track."""
        if not self.pts or t < self.times[0] or t > self.times[-1]:
            return None
        k = bisect.bisect_left(self.times, t)
        if k == 0:
            p = self.pts[0]
            return p[1], p[2], p[3], p[4], p[5]
        a, b = self.pts[k - 1], self.pts[k]
        f = (t - a[0]) / (b[0] - a[0]) if b[0] > a[0] else 0.0
        return (a[1] + f * (b[1] - a[1]), a[2] + f * (b[2] - a[2]), a[3] + f * (b[3] - a[3]),
                a[4] + f * (b[4] - a[4]), a[5] and b[5])

    def max_gs_near(self, t, window=60.0):
        lo = bisect.bisect_left(self.times, t - window)
        hi = bisect.bisect_right(self.times, t + window)
        return max((p[4] for p in self.pts[lo:hi]), default=0.0)

    def phase(self, t):
        fix = self.at(t)
        if fix is None:
            return None
        lat, lon, alt, gs, gnd = fix
        if gnd:
            if gs < 40.0:
                return "taxi"
            k = bisect.bisect_left(self._airborne, t)
            flies_later = k < len(self._airborne) and self._airborne[k] - t <= 120.0
            return "take-off roll" if flies_later else "landing roll"
        before, after = self.at(max(self.times[0], t - 20.0)), self.at(min(self.times[-1], t + 20.0))
        span = min(self.times[-1], t + 20.0) - max(self.times[0], t - 20.0)
        rate = (after[2] - before[2]) / span * 60.0 if span > 0 else 0.0
        if rate > 300.0:
            return "climb"
        if rate < -300.0:
            return "approach"
        return "cruise"


def read_scenario_tracks(path):
    with open(path, encoding="utf-8") as f:
        scenario = json.load(f)
    return scenario, [Track.from_scenario(t) for t in scenario["tracks"]]


def read_positions(path, clock=None):
    """{object: [(scenario second, lat, lon, alt)]} from a position log of every write
    (frame,sim_s,wall_s,object,...). clock(sim_s, wall_s) gives the scenario second; default sim_s."""
    out = {}
    with open(path, newline="") as f:
        for r in csv.DictReader(f):
            s = float(r["sim_s"])
            if clock:
                s = clock(s, float(r["wall_s"]))
            out.setdefault(int(r["object"]), []).append((s, float(r["lat"]), float(r["lon"]), float(r["alt_ft"])))
    return out


def match_track(tail, tracks):
    """The recorded track of an object's tail number (the callsign, else registration or address);
    a lone track without callsign takes any tail."""
    for t in tracks:
        if tail and tail in (t.callsign, t.hex, t.hex.upper()):
            return t
    nameless = [t for t in tracks if not t.callsign]
    return nameless[0] if len(nameless) == 1 else None


def measure_object(writes, track):
    """The figures of one simulator object against its recorded track."""
    phases = {p: {"n": 0, "dist": [], "dist_max": 0.0, "alt_max": 0.0, "jumps": 0} for p in PHASES}
    res = {"writes": len(writes), "compared": 0, "outside": 0, "bad": 0, "jumps": 0, "stuck_s": 0.0,
           "phases": phases, "air": [], "ground": [], "air_max": 0.0, "ground_max": 0.0, "alt_max": 0.0,
           "worst": None}
    if not writes:
        return res
    born = writes[0][0]
    anchor = writes[0]
    prev = None
    for w in writes:
        s, lat, lon, alt = w
        at = s - DELAY
        fix = track.at(at)
        # Jumps: a step faster than the aircraft could move.
        if prev is not None and s > prev[0]:
            step = dist_m(prev[1], prev[2], lat, lon)
            limit = max(1.5 * track.max_gs_near(at), track.max_gs_near(at) + 60.0) * KT
            if step > 5.0 and step / (s - prev[0]) > limit:
                res["jumps"] += 1
                ph = track.phase(at)
                if ph:
                    phases[ph]["jumps"] += 1
        prev = w
        # Stuck: the simulator position stays while the recording moves on.
        if dist_m(anchor[1], anchor[2], lat, lon) > 3.0:
            anchor = w
        elif s - anchor[0] > 30.0:
            a, b = track.at(anchor[0] - DELAY), fix
            if a and b and dist_m(a[0], a[1], b[0], b[1]) > 150.0:
                res["stuck_s"] = max(res["stuck_s"], s - anchor[0])
        if fix is None:
            res["outside"] += 1
            continue
        if track.bad_at(at):
            res["bad"] += 1
            continue
        ph = track.phase(at)
        d = dist_m(lat, lon, fix[0], fix[1])
        dv = alt - fix[2]
        res["compared"] += 1
        e = phases[ph]
        e["n"] += 1
        e["dist"].append(d)
        ground = ph in GROUND_PHASES
        res["ground" if ground else "air"].append(d)
        if s - born >= 30.0:
            if d > e["dist_max"]:
                e["dist_max"] = d
            key = "ground_max" if ground else "air_max"
            if d > res[key]:
                res[key] = d
                if res["worst"] is None or d > res["worst"][0]:
                    res["worst"] = (d, s, lat, lon, fix[0], fix[1])
            if not ground and not track.spike_at(at):
                if abs(dv) > abs(e["alt_max"]):
                    e["alt_max"] = dv
                if abs(dv) > abs(res["alt_max"]):
                    res["alt_max"] = dv
    return res


def median(values):
    return statistics.median(values) if values else 0.0


def measure(positions, objects, tracks):
    """positions {object: writes}, objects {object: tail} -> [(object, tail, track, result)]."""
    out = []
    for oid in sorted(positions):
        tail = objects.get(oid, "")
        track = match_track(tail, tracks)
        if track is None:
            continue
        out.append((oid, tail, track, measure_object(positions[oid], track)))
    return out


def summary_line(results, aircraft=None):
    air = [d for r in results for d in r[3]["air"]]
    ground = [d for r in results for d in r[3]["ground"]]
    air_max = max((r[3]["air_max"] for r in results), default=0.0)
    ground_max = max((r[3]["ground_max"] for r in results), default=0.0)
    alt_max = max((abs(r[3]["alt_max"]) for r in results), default=0.0)
    stuck = len({r[1] or r[0] for r in results if r[3]["stuck_s"] > 0})
    jumps = sum(r[3]["jumps"] for r in results)
    n = aircraft if aircraft is not None else len({r[2].hex for r in results})
    return (f"replay: {n} aircraft, air max {air_max:.0f} m (median {median(air):.0f}), ground max "
            f"{ground_max:.0f} m (median {median(ground):.0f}), altitude max {alt_max:.0f} ft, stuck {stuck}, "
            f"jumps {jumps}")


def table(results, tracks):
    """The per-aircraft and per-phase table, as lines."""
    lines = [f"{'object':>6} {'tail':8} {'phase':13} {'writes':>7} {'max m':>7} {'median m':>8} "
             f"{'alt max ft':>10} {'jumps':>5}"]
    for oid, tail, track, r in results:
        for ph in PHASES:
            e = r["phases"][ph]
            if not e["n"]:
                continue
            alt = "-" if ph in GROUND_PHASES else f"{e['alt_max']:+.0f}"
            lines.append(f"{oid:>6} {tail:8} {ph:13} {e['n']:>7} {e['dist_max']:>7.0f} {median(e['dist']):>8.0f} "
                         f"{alt:>10} {e['jumps']:>5}")
        notes = [f"{r['writes']} writes, {r['compared']} compared"]
        if r["outside"]:
            notes.append(f"{r['outside']} outside the recording")
        if r["bad"]:
            notes.append(f"{r['bad']} left out (bad recording)")
        if r["stuck_s"] > 0:
            notes.append(f"STUCK for {r['stuck_s']:.0f} s while the recording moved on")
        lines.append(f"{'':6} {tail:8} " + ", ".join(notes))
    seen = set()
    for t in tracks:
        if t.spikes:
            lines.append(f"{t.hex} {t.callsign}: recording altitude wrong at {len(t.spikes)} single points "
                         f"(more than 2,000 ft off both neighbours; left out of the altitude figures)")
        if t.noise():
            lines.append(f"{t.hex} {t.callsign}: recording noisy: {t.noise()} steps far faster than its "
                         f"ground speed (kept in the figures)")
        for (_, _, text) in t.bad:
            if (t.hex, text) not in seen:
                seen.add((t.hex, text))
                lines.append(f"{t.hex} {t.callsign}: {text}")
    return lines
