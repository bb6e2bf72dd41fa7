"""Measures simulator positions against recorded tracks at the same play-out time; Python 3
standard library only. Used by scripts/replay and scripts/demo_report.py.

The program plays a feed record out 30 s after it arrived, so the simulator position written at
scenario second s is compared with the recording interpolated (linearly) at s - 30: the horizontal
distance, the altitude difference (in the air only: recorded ground altitudes are the last airborne
value or none), jumps (a step between two writes of one object faster than the aircraft could
move: faster than max(1.5 x, + 60 kt) the highest recorded ground speed within a minute, or of the
fixes on each side of a longer gap, by more than 5 m: a simulator frame shows the ticks of the
program's clock, three or four a frame and a late wake's made-up ticks in the next, a step up to twice
the speed's and a few metres, no jump a user sees) and vertical jumps (over a second of
writes, more than 100 ft at a vertical rate 1.5 times beyond both 8,000 ft/min, faster than any
aircraft of the traffic climbs or descends, and the fastest the records give within a minute: their
vertical rates and their altitudes over 10 s; a run of such writes counts once). The phase of a write is the recording's at s - 30: taxi (on the ground
below 40 kt), take-off roll and landing roll (on the ground from 40 kt, before or after flying),
climb and approach (climbing or descending faster than 300 ft/min over 40 s), cruise. An aircraft
is stuck when its simulator position stays within 3 m for more than 30 s while the recording moves
on by more than 150 m. Every write of an aircraft's life counts, its first seconds included; the
figures give the 99th percentile, the maximum and the median, and beside the maximum the largest
after each aircraft's first 30 s (where it is created and takes up its track).

Writes whose play-out time falls inside a recording gap longer than the play-out delay (two fixes
of a track more than 30 s apart: there the next fix cannot be known in time) are counted apart, with
their own maximum, and named on the last line; the goals hold outside them.

Recording faults, found in the recording alone by physical limits and left out of the figures
(max and median), each from the fix before it to 5 s after the fix after it (the program's time to
take up the track again), counted and named in the table:
- stale: one flying position repeated for a minute or more at more than 60 kt (with the 30 s after
  it);
- position: a step between two fixes that no aircraft flies: within 5 s, more than 100 m and more
  than half the step off the distance the recorded ground speeds give (a repeated position at
  speed, a position thrown ahead or behind), or, without a recorded ground speed, faster than
  200 kt on the ground or 750 kt in the air; or a fix more than 100 m off the way between its
  neighbours (beyond what a turn at 6 degrees a second and a speed change of 5 m/s2 allow over
  their span); or a speed change from one step to the next beyond 5 m/s2 and 50 m of noise at each
  fix;
- altitude: a step from one flying row to the next of more than an 8,000 ft/min climb or descent
  gives over its time and 100 ft (the coarsest altitude coding, 100 ft, rounds each row by up to
  50 ft); from or to a ground row, the step
  between the flying row and the field elevation of an airport within 10 nm beyond 8,000 ft/min
  and 1,000 ft (the datum of a pressure altitude on the field: a QNH far from standard); ground
  rows carry no altitude of their own (0 ft where the feed has none); rows repeating a position
  bring their own altitudes; left out of the altitude figures only.
Altitude noise, found alike and named on the last line: a flying fix more than 100 ft (the coarsest
altitude coding) off the line its neighbours within 8 s on both sides give (the median of their
altitudes carried to its time along their vertical rates) is measured at that line: a reference
through it charged the program with the feed's altitude coding noise (rows 150-400 ft off a climb
a second apart, each step within the altitude rule above).
THRESHOLDS below gives each limit with the program's own where it has one, and why they differ.
Altitudes are judged on the program's datum: the recording's pressure altitudes corrected by
(QNH - 1013) x 27 ft for the QNH the program flies by (alt_shift_ft, the demo; the replay corrects
the recording's rows for the program and the measure alike to the QNH its own runway rows show,
see datum_qnh). A flying fix below the field
elevation of an airport within 10 nm (given the airport list: a pressure altitude at a high QNH,
0 ft on a touch-and-go) is measured at the field elevation: the aircraft was no lower.
"""
import bisect
import csv
import json
import math
import os
import statistics
import xml.etree.ElementTree as ET

DELAY = 30.0
KT = 1852.0 / 3600.0  # m/s per knot
PHASES = ["taxi", "take-off roll", "climb", "cruise", "approach", "landing roll"]
GROUND_PHASES = {"taxi", "take-off roll", "landing roll"}
# Physical limits of a recorded step (see the header) and the program's time to take up the track
# after a faulty fix.
STEP_OFF_M, STEP_S = 100.0, 5.0
GROUND_KT, AIR_KT = 200.0, 750.0
CLIMB_FPM = 8000.0
ALT_CODING_FT, GROUND_ALT_FT = 100.0, 1000.0
STALE_KT, STALE_S = 60.0, 60.0
FIELD_M = 10.0 * 1852.0  # an airport's field elevation holds within 10 nm of it
TURN_RAD_S, ACCEL_MS2, NOISE_M = math.radians(6.0), 5.0, 50.0
RECOVER_S = 5.0
JUMP_M = 5.0  # a jump's step beyond the fastest the aircraft moves
VJUMP_S, VJUMP_FT, VJUMP_RECORDS = 1.0, 100.0, 1.5
SETTLE_S = 30.0  # an aircraft's first seconds, named apart beside the whole life's maximum
# An altitude-noise point: off its neighbours' line (within 8 s, at least 2 on each side) by more
# than the coarsest altitude coding.
NOISE_S, NOISE_SIDE = 8.0, 2
FEET_PER_HPA = 27.0
# The program's earth: 2 x 3437.75 nm (60 nm a degree of arc), in metres; every script measures with it.
EARTH_DIAMETER_M = 6875.493541569878 * 1852.0
EARTH_RADIUS_M = EARTH_DIAMETER_M / 2.0

# Each limit of the recording's faults beside the program's own rule of record acceptance
# (src/simulator) where it has one: (name, value, unit, (the program's constant, its value) or
# None, why). The measure judges a whole recording after the fact, the program each record as it
# comes, from the records before it only. tests/scripts pin the program's values.
THRESHOLDS = [
    ("STALE_KT", STALE_KT, "kt", ("kStaleAirKnots", 60.0),
     "same: a flying aircraft at more than 60 kt cannot stand; slower, or on the ground, a repeated "
     "position may be a stop and counts"),
    ("STALE_S", STALE_S, "s", None,
     "the program swallows every repeat; the measure names runs of a minute or more, shorter ones "
     "fall under the position rules (a step off the recorded speed)"),
    ("CLIMB_FPM", CLIMB_FPM, "ft/min", ("kMaxClimbFpm", 8000.0),
     "same: no aircraft of the traffic climbs or descends faster"),
    ("ALT_CODING_FT", ALT_CODING_FT, "ft", ("kAltitudeMarginFt", 300.0),
     "the reference runs straight through every row, the program along records a few seconds "
     "apart (it swallows only rows 300 ft off): a row off its neighbours by more than the coarsest "
     "altitude coding (100 ft steps, up to 50 ft off each) is noise it must not follow"),
    ("GROUND_ALT_FT", GROUND_ALT_FT, "ft", ("kGroundAltitudeMarginFt", 1000.0),
     "same: from or to the field, the datum of a pressure altitude (the day's QNH)"),
    ("STEP_OFF_M", STEP_OFF_M, "m", ("kOffStepNm", 0.5),
     "the measure sees the fixes on both sides of a step and takes 100 m; the program, judging a "
     "fix by the last alone, only a fast aircraft's, beyond half a mile"),
    ("AIR_KT", AIR_KT, "kt", ("kJumpMarginKnots", 100.0),
     "without a recorded speed: 750 kt, beyond any traffic; the program takes twice the "
     "record's speed and 100 kt more, from the last record"),
    ("GROUND_KT", GROUND_KT, "kt", None, "no aircraft rolls faster on the ground"),
    ("ACCEL_MS2", ACCEL_MS2, "m/s2", None, "beyond any aircraft's speed change (an airliner: 2-3)"),
    ("TURN_RAD_S", TURN_RAD_S, "rad/s", None, "6 degrees a second, beyond a standard rate turn"),
    ("NOISE_M", NOISE_M, "m", None, "a fix's position noise"),
]


def dist_m(a_lat, a_lon, b_lat, b_lon):
    """The program's great circle (haversine on its earth), in metres."""
    r = math.pi / 180.0
    h = math.sin((b_lat - a_lat) * r / 2) ** 2 + \
        math.cos(a_lat * r) * math.cos(b_lat * r) * math.sin((b_lon - a_lon) * r / 2) ** 2
    return EARTH_DIAMETER_M * math.asin(min(1.0, math.sqrt(h)))


def percentile(values, share):
    """The nearest-rank percentile (share 0.99: the 99th) of a list, 0 for none."""
    if not values:
        return 0.0
    ordered = sorted(values)
    return ordered[max(0, math.ceil(share * len(ordered)) - 1)]


def _merged(spans):
    """Sorted, overlapping spans joined."""
    out = []
    for a, b in sorted(spans):
        if out and a <= out[-1][1]:
            out[-1] = (out[-1][0], max(out[-1][1], b))
        else:
            out.append((a, b))
    return out


class Track:
    """One recorded aircraft: points (t, lat, lon, alt, gs, gnd) in scenario seconds, ascending."""

    def __init__(self, hexid, callsign, actype, points, rows=None, fields=None, rates=None, climbs=None):
        """rows: every row's (time, position time, alt, gnd), where rows repeat a position with
        their own altitudes; default the points. fields: the airport list's (lat, lon, elevation
        ft), to lift flying fixes below a field to it. rates: the recorded vertical rates (time,
        ft/min). climbs: {point time: signed vertical rate ft/min} of the points (none: 0)."""
        self.hex, self.callsign, self.type = hexid, callsign, actype
        self.pts = sorted(points, key=lambda p: p[0])
        self._field_at = {}  # the field elevation under each ground fix within 10 nm of one, by time
        self.below_field = self._lift_to_fields(fields or [])
        self.rows = sorted(rows) if rows else [(p[0], p[0], p[3], p[5]) for p in self.pts]
        self.noise = self._mend_altitude_noise(climbs or {})
        self.times = [p[0] for p in self.pts]
        self._rates = sorted(rates or [])
        self.gaps = [(a[0], b[0]) for a, b in zip(self.pts, self.pts[1:]) if b[0] - a[0] > DELAY]
        self.bad = self._find_bad_spans()
        self.faults = self._find_faults()
        self._windows = {kind: _merged([(a, b) for (a, b, k) in self.faults if k == kind])
                         for kind in ("position", "altitude")}
        self._airborne = [t for (t, _, _, _, _, g) in self.pts if not g]

    @staticmethod
    def from_scenario(track, fields=None, alt_shift_ft=0.0):
        """A point counts at the time its position was seen ("seen", else "t"); a position
        repeated in later rows counts once, with its first row's values. alt_shift_ft is added to
        the flying rows' altitudes: the program flies a pressure altitude corrected to the QNH it
        read, (QNH - 1013) x 27 ft."""
        pts, seen, rows, rates, climbs = [], set(), [], [], {}
        for p in track["points"]:
            t = p.get("seen", p["t"])
            gnd = bool(p.get("gnd", 0))
            alt = p.get("alt", 0.0) + (0.0 if gnd else alt_shift_ft)
            rows.append((p["t"], t, alt, gnd))
            if p.get("vr"):
                rates.append((p["t"], abs(p["vr"])))
            if t in seen:
                continue
            seen.add(t)
            pts.append((t, p["lat"], p["lon"], alt, p.get("gs", 0.0), gnd))
            climbs[t] = p.get("vr", 0.0) or 0.0
        return Track(track["hex"], track.get("callsign", ""), track.get("type", ""), pts, rows, fields, rates,
                     climbs)

    def _mend_altitude_noise(self, climbs):
        """Flying points whose altitude lies more than the coarsest altitude coding off the line
        their neighbours within NOISE_S on both sides (as far on each) give (the median of the neighbours' altitudes,
        each carried to the point's time along the mean of its and the point's vertical rate; a
        point without a rate takes the other's) take that line's altitude; their count. Judged with
        at least NOISE_SIDE neighbours on each side only."""
        flying = [(k, p) for k, p in enumerate(self.pts) if not p[5]]
        times = [p[0] for _, p in flying]
        mended = []
        for i, (k, p) in enumerate(flying):
            rate = climbs.get(p[0], 0.0)
            # As far on each side: a steady climb whose rows give no rates lies on the median then.
            half = min(NOISE_S, p[0] - times[0], times[-1] - p[0])
            lo, hi = bisect.bisect_left(times, p[0] - half), bisect.bisect_right(times, p[0] + half)
            near = [q for j, (_, q) in enumerate(flying[lo:hi], lo) if j != i]
            if sum(q[0] < p[0] for q in near) < NOISE_SIDE or sum(q[0] > p[0] for q in near) < NOISE_SIDE:
                continue
            at = [q[3] + ((climbs.get(q[0], 0.0) or rate) + (rate or climbs.get(q[0], 0.0))) / 2.0 *
                  (p[0] - q[0]) / 60.0 for q in near]
            line = statistics.median(at)
            if abs(p[3] - line) > ALT_CODING_FT:
                mended.append((k, line))
        for k, line in mended:
            p = self.pts[k]
            self.pts[k] = (p[0], p[1], p[2], line, p[4], p[5])
        return len(mended)

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
                flying = not any(p[5] for p in self.pts[i:j + 1])
                if flying and dur >= STALE_S and speed > STALE_KT:
                    spans.append((self.pts[i][0], self.pts[j][0],
                                  f"recording stale: one position for {dur:.0f} s at {speed:.0f} kt "
                                  f"(t {self.pts[i][0]:.0f}..{self.pts[j][0]:.0f} s)"))
            i = j + 1
        return spans

    def _find_faults(self):
        """[(start, end, kind)]: steps between two fixes that no aircraft flies, kind "position" or
        "altitude", as the seconds they spoil (from the first fix to RECOVER_S after the second)."""
        out = []
        for a, b in zip(self.pts, self.pts[1:]):
            dt = b[0] - a[0]
            if dt <= 0:
                continue
            d = dist_m(a[1], a[2], b[1], b[2])
            if a[4] > 0 and b[4] > 0 and dt <= STEP_S:
                expected = (a[4] + b[4]) / 2.0 * KT * dt
                off = abs(d - expected) > max(STEP_OFF_M, 0.5 * expected)
            else:
                off = d / dt > (GROUND_KT if a[5] and b[5] else AIR_KT) * KT
            if off:
                out.append((a[0], b[0] + RECOVER_S, "position"))
        # Altitudes row by row (a row repeating a position brings its own altitude, which the
        # program plays out at the position's time), from the fix before. A ground row has no
        # altitude of its own: a flying row beside it is judged against the field under it (none
        # known: not judged).
        for a, b in zip(self.rows, self.rows[1:]):
            dt = b[0] - a[0]
            if dt <= 0 or (a[3] and b[3]):
                continue
            if a[3] or b[3]:
                ground, flying = (a, b) if a[3] else (b, a)
                elev = self._field_at.get(ground[1])
                if elev is None:
                    continue
                off = abs(flying[2] - elev) > CLIMB_FPM * dt / 60.0 + GROUND_ALT_FT
            else:
                off = abs(b[2] - a[2]) > CLIMB_FPM * dt / 60.0 + ALT_CODING_FT
            if off:
                k = bisect.bisect_left(self.times, min(a[1], b[1]))
                out.append((self.times[max(k - 1, 0)], b[0] + RECOVER_S, "altitude"))
        # A speed change between two steps beyond 5 m/s2 and what 50 m of position noise at each end
        # of a step give (a block of positions shifted in time).
        for a, b, c in zip(self.pts, self.pts[1:], self.pts[2:]):
            dt1, dt2 = b[0] - a[0], c[0] - b[0]
            if dt1 <= 0 or dt2 <= 0 or b[5] != a[5] or b[5] != c[5]:
                continue
            v1 = dist_m(a[1], a[2], b[1], b[2]) / dt1
            v2 = dist_m(b[1], b[2], c[1], c[2]) / dt2
            if abs(v2 - v1) > ACCEL_MS2 * (dt1 + dt2) / 2.0 + NOISE_M / dt1 + NOISE_M / dt2:
                out.append((a[0], c[0] + RECOVER_S, "position"))
        # A fix thrown off the way between its neighbours: farther from where the neighbours put it
        # at its time than a turn at 6 degrees a second and a 5 m/s2 speed change could take it.
        for a, b, c in zip(self.pts, self.pts[1:], self.pts[2:]):
            span = c[0] - a[0]
            if span <= 0 or b[5] != a[5] or b[5] != c[5]:
                continue
            f = (b[0] - a[0]) / span
            v = max(a[4] * KT, c[4] * KT, dist_m(a[1], a[2], c[1], c[2]) / span)
            off = dist_m(b[1], b[2], a[1] + f * (c[1] - a[1]), a[2] + f * (c[2] - a[2]))
            if off > max(STEP_OFF_M, (v * TURN_RAD_S + ACCEL_MS2) * span * span / 8.0):
                out.append((a[0], c[0] + RECOVER_S, "position"))
        return out

    def _lift_to_fields(self, fields):
        """Lifts the flying fixes below the elevation of the nearest field within 10 nm to it;
        their count. Ground fixes there are placed at that elevation: a trace gives them no
        pressure altitude (a geometric height, 90-180 ft off the field, or none), and the seconds
        from the last flying fix to the touch-down are measured against the line between them."""
        if not fields or not self.pts:
            return 0
        lats = [p[1] for p in self.pts]
        lons = [p[2] for p in self.pts]
        box = 0.2  # degrees of latitude beyond the track, more than 10 nm; of longitude widened with it
        box_lon = box / max(0.05, math.cos(math.radians(max(abs(min(lats)), abs(max(lats))))))
        near = [f for f in fields if min(lats) - box <= f[0] <= max(lats) + box
                and min(lons) - box_lon <= f[1] <= max(lons) + box_lon]
        n = 0
        for k, p in enumerate(self.pts):
            d, elev = min(((dist_m(p[1], p[2], f[0], f[1]), f[2]) for f in near), default=(math.inf, 0.0))
            if p[5]:
                if d <= FIELD_M:
                    self.pts[k] = (p[0], p[1], p[2], elev, p[4], p[5])
                    self._field_at[p[0]] = elev
                continue
            if d <= FIELD_M and p[3] < elev:
                self.pts[k] = (p[0], p[1], p[2], elev, p[4], p[5])
                n += 1
        return n

    def fault_at(self, t, kind):
        spans = self._windows[kind]
        k = bisect.bisect_right(spans, (t, math.inf)) - 1
        return k >= 0 and spans[k][0] <= t <= spans[k][1]

    def fault_seconds(self, kind):
        """Seconds of the recording left out for one kind of fault ("stale" with its 30 s after)."""
        spans = [(a, b + DELAY) for (a, b, _) in self.bad] if kind == "stale" else self._windows[kind]
        return sum(b - a for (a, b) in _merged(spans))

    def fault_lines(self):
        """The table's lines on the recording's faults: steps and seconds left out, per kind."""
        lines = []
        for kind, text in (("position", "position steps no aircraft flies (off the recorded speed, beyond "
                                        f"{GROUND_KT:.0f} kt on the ground or {AIR_KT:.0f} kt in the air, off the "
                                        f"way between the neighbours, or a speed change beyond {ACCEL_MS2:.0f} m/s2)"),
                           ("altitude", f"altitude steps beyond {CLIMB_FPM:.0f} ft/min and {ALT_CODING_FT:.0f} ft "
                                        f"({GROUND_ALT_FT:.0f} ft from the field)")):
            n = sum(1 for f in self.faults if f[2] == kind)
            if n:
                lines.append(f"{self.hex} {self.callsign}: recording fault: {n} {text}; "
                             f"{self.fault_seconds(kind):.0f} s left out "
                             f"of the {'altitude' if kind == 'altitude' else 'distance'} figures")
        if self.noise:
            lines.append(f"{self.hex} {self.callsign}: {self.noise} flying fixes more than {ALT_CODING_FT:.0f} ft off "
                         f"the line of their neighbours within {NOISE_S:.0f} s (altitude noise), measured at that line")
        if self.below_field:
            lines.append(f"{self.hex} {self.callsign}: {self.below_field} flying fixes below the field elevation "
                         "of an airport within 10 nm, measured at the field elevation")
        return lines

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

    def in_gap(self, t):
        """Whether scenario second t lies inside a gap between fixes longer than the play-out delay."""
        k = bisect.bisect_right(self.times, t)
        return 0 < k < len(self.times) and self.times[k] - self.times[k - 1] > DELAY and t > self.times[k - 1]

    def gap_seconds(self):
        return sum(b - a for a, b in self.gaps)

    def at_clamped(self, t):
        """at(t), held at the first or last fix outside the track."""
        if not self.pts:
            return None
        return self.at(min(max(t, self.times[0]), self.times[-1]))

    def records_rate_fpm(self, t, window=60.0):
        """The fastest vertical rate the records give within a window around t: the recorded rates
        and the altitude path over 10 s steps."""
        lo = bisect.bisect_left(self._rates, (t - window, -math.inf))
        hi = bisect.bisect_right(self._rates, (t + window, math.inf))
        best = max((r for _, r in self._rates[lo:hi]), default=0.0)
        u = t - window
        while u < t + window:
            a, b = self.at_clamped(u), self.at_clamped(u + 10.0)
            if a and b:
                best = max(best, abs(b[2] - a[2]) * 6.0)
            u += 10.0
        return best

    def max_gs_near(self, t, window=60.0):
        # Within a gap longer than the window, the fixes on each side of it give the speed.
        lo = min(bisect.bisect_left(self.times, t - window), max(0, bisect.bisect_right(self.times, t) - 1))
        hi = max(bisect.bisect_right(self.times, t + window), bisect.bisect_left(self.times, t) + 1)
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
            if k < len(self._airborne) and self._airborne[k] - t <= 120.0:
                return "take-off roll"
            if k > 0 and t - self._airborne[k - 1] <= 120.0:
                return "landing roll"
            # No flight within two minutes (a recording that ends before the lift-off or begins
            # after the touch-down): a roll gains speed, a roll-out loses it.
            later = self.at(min(self.times[-1], t + 5.0))
            return "take-off roll" if later is not None and later[3] > gs else "landing roll"
        before, after = self.at(max(self.times[0], t - 20.0)), self.at(min(self.times[-1], t + 20.0))
        span = min(self.times[-1], t + 20.0) - max(self.times[0], t - 20.0)
        rate = (after[2] - before[2]) / span * 60.0 if span > 0 else 0.0
        if rate > 300.0:
            return "climb"
        if rate < -300.0:
            return "approach"
        return "cruise"


def read_airports():
    """{code: (lat, lon, elevation ft)} of the airport list the stand-in download server serves."""
    path = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "standins",
                        "download_server", "data", "airports_msfs.xml")
    out = {}
    for a in ET.parse(path).getroot().iter("airport"):
        out[a.get("code")] = (float(a.get("lat")), float(a.get("lon")), float(a.get("alt") or 0))
    return out


def datum_qnh(tracks, fields, window=30.0):
    """The QNH (whole hPa) under which the recording's pressure altitudes put its aircraft on the
    runway: at each lift-off and touch-down within 10 nm of a field (a ground row with a flying row
    within 30 s of it), the lowest of those flying rows is the runway's pressure altitude, within
    the height the aircraft has already gained; the median over them. None without one, or off any
    QNH of the earth's weather (950-1050 hPa). tracks: the scenario's tracks."""
    estimates = []
    for tr in tracks:
        rows = sorted(tr["points"], key=lambda p: p["t"])
        flying = [(p["t"], p["alt"]) for p in rows if not p.get("gnd") and p.get("alt")]
        times = [t for t, _ in flying]
        for a, b in zip(rows, rows[1:]):
            if bool(a.get("gnd")) == bool(b.get("gnd")):
                continue
            ground = a if a.get("gnd") else b
            lo, hi = bisect.bisect_left(times, ground["t"] - window), bisect.bisect_right(times, ground["t"] + window)
            if lo == hi:
                continue
            d, elev = min(((dist_m(ground["lat"], ground["lon"], f[0], f[1]), f[2]) for f in fields),
                          default=(math.inf, 0.0))
            lowest = min(alt for _, alt in flying[lo:hi])
            # A flying row farther from the field than any datum puts it is a broken row, no lift-off.
            if d <= FIELD_M and abs(lowest - elev) <= GROUND_ALT_FT:
                estimates.append(1013.25 + (elev - lowest) / FEET_PER_HPA)
    if not estimates:
        return None
    qnh = round(statistics.median(estimates))
    return qnh if 950 <= qnh <= 1050 else None


def read_scenario_tracks(path, fields=None):
    with open(path, encoding="utf-8") as f:
        scenario = json.load(f)
    return scenario, [Track.from_scenario(t, fields) for t in scenario["tracks"]]


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
    """The figures of one simulator object against its recorded track, over its whole life."""
    phases = {p: {"n": 0, "dist": [], "dist_max": 0.0, "alt_max": 0.0, "jumps": 0} for p in PHASES}
    res = {"writes": len(writes), "compared": 0, "outside": 0, "bad": 0, "fault": 0, "jumps": 0, "stuck_s": 0.0,
           "phases": phases, "air": [], "ground": [], "air_max": 0.0, "ground_max": 0.0, "alt_max": 0.0,
           "worst": None, "gap": 0, "gap_max": 0.0, "vjumps": 0, "air_settled": 0.0, "ground_settled": 0.0}
    if not writes:
        return res
    born = writes[0][0]
    anchor = writes[0]
    prev = None
    back = 0  # the latest write at least VJUMP_S before the current one
    in_vjump = False
    for i, w in enumerate(writes):
        s, lat, lon, alt = w
        at = s - DELAY
        fix = track.at(at)
        # Jumps: a step faster than the aircraft could move.
        if prev is not None and s > prev[0]:
            step = dist_m(prev[1], prev[2], lat, lon)
            limit = max(1.5 * track.max_gs_near(at), track.max_gs_near(at) + 60.0) * KT
            if step > limit * (s - prev[0]) + JUMP_M:
                res["jumps"] += 1
                ph = track.phase(at)
                if ph:
                    phases[ph]["jumps"] += 1
        prev = w
        # Vertical jumps: over the last second of writes, a climb or descent beyond what any
        # aircraft flies and beyond what the records give; a run of such writes counts once.
        while back + 1 < i and writes[back + 1][0] <= s - VJUMP_S:
            back += 1
        dt, dz = s - writes[back][0], abs(alt - writes[back][3])
        jump = dt >= VJUMP_S and dz > VJUMP_FT and dz / dt * 60.0 > VJUMP_RECORDS * CLIMB_FPM and \
            dz / dt * 60.0 > VJUMP_RECORDS * track.records_rate_fpm(at)
        if jump and not in_vjump:
            res["vjumps"] += 1
        in_vjump = jump
        # Stuck: the simulator position stays while the recording moves on (also past its end).
        if dist_m(anchor[1], anchor[2], lat, lon) > 3.0:
            anchor = w
        elif s - anchor[0] > 30.0:
            a, b = track.at_clamped(anchor[0] - DELAY), track.at_clamped(at)
            if a and b and dist_m(a[0], a[1], b[0], b[1]) > 150.0:
                res["stuck_s"] = max(res["stuck_s"], s - anchor[0])
        if fix is None:
            res["outside"] += 1
            continue
        d = dist_m(lat, lon, fix[0], fix[1])
        if track.in_gap(at):
            res["gap"] += 1
            res["gap_max"] = max(res["gap_max"], d)
            continue
        if track.bad_at(at):
            res["bad"] += 1
            continue
        if track.fault_at(at, "position"):
            res["fault"] += 1
            continue
        ph = track.phase(at)
        dv = alt - fix[2]
        res["compared"] += 1
        e = phases[ph]
        e["n"] += 1
        e["dist"].append(d)
        ground = ph in GROUND_PHASES
        res["ground" if ground else "air"].append(d)
        if d > e["dist_max"]:
            e["dist_max"] = d
        key = "ground_max" if ground else "air_max"
        if s - born >= SETTLE_S:
            settled = "ground_settled" if ground else "air_settled"
            res[settled] = max(res[settled], d)
        if d > res[key]:
            res[key] = d
            if res["worst"] is None or d > res["worst"][0]:
                res["worst"] = (d, s, lat, lon, fix[0], fix[1])
        if not ground and not track.fault_at(at, "altitude"):
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


def summary_line(results, aircraft=None, created=None):
    """The one last line. aircraft: the tracks of the recording; created: how many of them the
    program created (then the line says "created C of N tracks")."""
    air = [d for r in results for d in r[3]["air"]]
    ground = [d for r in results for d in r[3]["ground"]]
    air_max = max((r[3]["air_max"] for r in results), default=0.0)
    ground_max = max((r[3]["ground_max"] for r in results), default=0.0)
    settled = {k: max((r[3][k + "_settled"] for r in results), default=0.0) for k in ("air", "ground")}
    alt_max = max((abs(r[3]["alt_max"]) for r in results), default=0.0)
    stuck = len({r[1] or r[0] for r in results if r[3]["stuck_s"] > 0})
    jumps = sum(r[3]["jumps"] for r in results)
    vjumps = sum(r[3]["vjumps"] for r in results)
    n = aircraft if aircraft is not None else len({r[2].hex for r in results})
    measured = {r[2].hex: r[2] for r in results}.values()
    left = {kind: sum(t.fault_seconds(kind) for t in measured) for kind in ("stale", "position", "altitude")}
    gap_s = sum(t.gap_seconds() for t in measured)
    gap_writes = sum(r[3]["gap"] for r in results)
    gap_max = max((r[3]["gap_max"] for r in results), default=0.0)
    noise = sum(t.noise for t in measured)
    head = f"created {created} of {n} tracks" if created is not None else f"{n} aircraft"
    after = f"after each aircraft's first {SETTLE_S:.0f} s"
    return (f"replay: {head}, air p99 {percentile(air, 0.99):.0f} m, max {air_max:.0f} m ({settled['air']:.0f} m "
            f"{after}, median {median(air):.0f}), ground p99 {percentile(ground, 0.99):.0f} m, max {ground_max:.0f} m "
            f"({settled['ground']:.0f} m {after}, median {median(ground):.0f}), "
            f"altitude max {alt_max:.0f} ft, vertical jumps {vjumps}, stuck {stuck}, jumps {jumps}; "
            "left out as recording faults: " + ", ".join(f"{k} {v:.0f} s" for k, v in left.items()) +
            f"; apart, {gap_writes} writes in recording gaps over {DELAY:.0f} s ({gap_s:.0f} s), max {gap_max:.0f} m"
            f"; altitude noise: {noise} fixes over {ALT_CODING_FT:.0f} ft off their neighbours' line, measured at it")


def table(results, tracks):
    """The per-aircraft and per-phase table, as lines."""
    lines = [f"{'object':>6} {'tail':8} {'phase':13} {'writes':>7} {'p99 m':>7} {'max m':>7} {'median m':>8} "
             f"{'alt max ft':>10} {'jumps':>5}"]
    for oid, tail, track, r in results:
        for ph in PHASES:
            e = r["phases"][ph]
            if not e["n"]:
                continue
            alt = "-" if ph in GROUND_PHASES else f"{e['alt_max']:+.0f}"
            lines.append(f"{oid:>6} {tail:8} {ph:13} {e['n']:>7} {percentile(e['dist'], 0.99):>7.0f} "
                         f"{e['dist_max']:>7.0f} {median(e['dist']):>8.0f} "
                         f"{alt:>10} {e['jumps']:>5}")
        notes = [f"{r['writes']} writes, {r['compared']} compared"]
        if r["outside"]:
            notes.append(f"{r['outside']} outside the recording")
        if r["bad"]:
            notes.append(f"{r['bad']} left out (bad recording)")
        if r["fault"]:
            notes.append(f"{r['fault']} left out (recording fault)")
        if r["gap"]:
            notes.append(f"{r['gap']} in recording gaps over {DELAY:.0f} s (max {r['gap_max']:.0f} m)")
        if r["vjumps"]:
            notes.append(f"{r['vjumps']} vertical jumps")
        if r["stuck_s"] > 0:
            notes.append(f"STUCK for {r['stuck_s']:.0f} s while the recording moved on")
        lines.append(f"{'':6} {tail:8} " + ", ".join(notes))
    seen = set()
    for t in tracks:
        lines += t.fault_lines()
        for (_, _, text) in t.bad:
            if (t.hex, text) not in seen:
                seen.add((t.hex, text))
                lines.append(f"{t.hex} {t.callsign}: {text}")
    return lines
