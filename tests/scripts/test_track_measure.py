"""The replay's measure (scripts/track_measure.py) on small made-up tracks: the recording's faults it
leaves out, the phase split, the jump, vertical jump and stuck counts, the comparison at play-out
time, the recording gaps counted apart, the datum, the last line; and the replay's exit status when
it measured nothing. Run by scripts/test: python3 -m unittest discover -s tests/scripts."""
import json
import math
import os
import re
import subprocess
import sys
import tempfile
import unittest

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(TOP, "scripts"))
import demo_report  # noqa: E402
import make_demo_scenario  # noqa: E402
import track_measure as tm  # noqa: E402

M_PER_DEG = 60.0 * 1852.0  # a degree of arc on the program's earth
FIELD = (0.0, 0.0, 2000.0)  # an airport at 0,0, 2000 ft


def east(t, speed_kt, alt=0.0, gnd=False, t0=0.0, lon0=0.0):
    """A fix at time t of an aircraft moving east along the equator at speed_kt from lon0 at t0."""
    return (t, 0.0, lon0 + speed_kt * tm.KT * (t - t0) / M_PER_DEG, alt, speed_kt, gnd)


def writes_on(track, times, off_m=0.0, delay=tm.DELAY, alt=None):
    """Simulator writes at the given seconds, placed on the recording at the play-out time (s - 30)
    and off_m metres north of it."""
    out = []
    for s in times:
        fix = track.at(min(max(s - delay, track.times[0]), track.times[-1]))
        out.append((s, fix[0] + off_m / M_PER_DEG, fix[1], fix[2] if alt is None else alt))
    return out


def frames(a, b, fps=10):
    return [a + k / fps for k in range(int((b - a) * fps) + 1)]


class Geometry(unittest.TestCase):
    def test_one_earth_for_every_script(self):
        # The program's earth: 60 nm a degree of arc. Two radii were in use (6366.7 and 6371.0 km):
        # the demo summary and the scenario maker measured 0.07 % longer than the replay.
        self.assertAlmostEqual(tm.dist_m(0.0, 0.0, 1.0, 0.0), 111120.0, places=3)
        a, b = (64.0, -22.6), (63.9, -22.4)
        self.assertEqual(demo_report.dist_m(a, b), tm.dist_m(*a, *b))
        self.assertEqual(make_demo_scenario.dist_m(a, b), tm.dist_m(*a, *b))
        back = make_demo_scenario.dest(a, 135.0, 5000.0)
        self.assertAlmostEqual(tm.dist_m(*a, *back), 5000.0, places=3)

    def test_percentile_is_nearest_rank(self):
        values = list(range(1, 201))  # 1..200
        self.assertEqual(tm.percentile(values, 0.99), 198)
        self.assertEqual(tm.percentile([5.0], 0.99), 5.0)
        self.assertEqual(tm.percentile([], 0.99), 0.0)


class Thresholds(unittest.TestCase):
    def test_the_program_holds_the_values_the_table_gives(self):
        # The measure's table names the program's constant beside each of its limits; a changed
        # program value must change the table (and its reason) too.
        source = ""
        for folder, _, files in os.walk(os.path.join(TOP, "src")):
            for name in files:
                if name.endswith((".cpp", ".h")):
                    with open(os.path.join(folder, name), encoding="utf-8") as f:
                        source += f.read()
        for name, value, unit, program, why in tm.THRESHOLDS:
            self.assertTrue(why, name)
            if program is None:
                continue
            const, expected = program
            m = re.search(r"constexpr double " + const + r" = ([0-9.+\-*/ ]+);", source)
            self.assertIsNotNone(m, f"{const} not found in src")
            self.assertAlmostEqual(eval(m.group(1)), expected, msg=const)
            if why.startswith("same"):
                scale = 60.0 if unit == "ft/min" and const.endswith("PerSecond") else 1.0
                self.assertAlmostEqual(value, expected * scale, msg=name)


class RecordingFaults(unittest.TestCase):
    def test_stale_is_a_flying_position_repeated_at_speed_as_the_program_judges_it(self):
        def repeated(speed, gnd):
            pts = [east(t, speed, 3000.0, gnd) for t in range(0, 11)]
            stand = pts[-1]
            pts += [(t, stand[1], stand[2], 3000.0, speed, gnd) for t in range(11, 101)]
            pts += [east(t, speed, 3000.0, gnd) for t in range(101, 110)]
            return tm.Track("a", "A", "A320", pts)
        self.assertEqual(len(repeated(100.0, False).bad), 1)
        self.assertTrue(repeated(100.0, False).bad_at(120.0))  # with the 30 s after it
        # 45 kt: the measure called this stale (at 30 kt and more), the program does not (60 kt).
        self.assertEqual(repeated(45.0, False).bad, [])
        # On the ground a repeated position may be a stop: it counts.
        self.assertEqual(repeated(100.0, True).bad, [])

    def test_a_fix_thrown_off_the_way_is_a_position_fault(self):
        pts = [east(t, 150.0, 3000.0) for t in range(0, 20)]
        t, lat, lon, alt, gs, gnd = pts[10]
        pts[10] = (t, lat + 400.0 / M_PER_DEG, lon, alt, gs, gnd)
        track = tm.Track("a", "A", "A320", pts)
        self.assertTrue(track.fault_at(10.0, "position"))
        self.assertTrue(track.fault_at(11.0 + tm.RECOVER_S, "position"))
        self.assertFalse(track.fault_at(3.0, "position"))
        clean = tm.Track("a", "A", "A320", [east(t, 150.0, 3000.0) for t in range(0, 20)])
        self.assertEqual(clean.faults, [])

    def test_altitude_steps_beyond_any_climb_and_the_altitude_coding(self):
        def steps(jump_ft):
            pts = [east(t, 150.0, 3000.0) for t in range(0, 10)]
            t, lat, lon, alt, gs, gnd = pts[5]
            pts[5] = (t, lat, lon, alt + jump_ft, gs, gnd)
            return tm.Track("a", "A", "A320", pts)
        # 200 ft in a second: within 8,000 ft/min and 100 ft of altitude coding.
        self.assertFalse(any(k == "altitude" for *_, k in steps(200.0).faults))
        self.assertTrue(any(k == "altitude" for *_, k in steps(250.0).faults))
        self.assertFalse(steps(250.0).fault_at(5.0, "position"))

    def test_a_fix_off_its_neighbours_line_is_altitude_noise_measured_at_that_line(self):
        # Climbing at 3000 ft/min by the rows' rates, a row 150 ft under the climb (noisy_takeoff
        # in its climb: rows 150-400 ft low among good ones, each step within 8,000 ft/min and
        # 100 ft): the reference ran through it and charged the program, which flew the climb.
        pts = [east(t, 250.0, 8000.0 + 50.0 * t) for t in range(0, 30)]
        t, lat, lon, alt, gs, gnd = pts[12]
        pts[12] = (t, lat, lon, alt - 150.0, gs, gnd)
        track = tm.Track("a", "A", "A320", pts, climbs={p[0]: 3000.0 for p in pts})
        self.assertEqual(track.noise, 1)
        self.assertAlmostEqual(track.at(12.0)[2], 8600.0)
        self.assertEqual([f for f in track.faults if f[2] == "altitude"], [])
        writes = writes_on(track, frames(40.0, 55.0))
        self.assertLess(tm.measure_object(writes, track)["alt_max"], 0.01)
        line = tm.summary_line([(1, "A", track, tm.measure_object(writes, track))])
        self.assertIn("; altitude noise: 1 fixes over 100 ft off their neighbours' line", line)
        # 100 ft off is the altitude coding, no noise; nor is a climb the rows give no rates for,
        # nor a row without two neighbours on each side within 8 s.
        pts[12] = (t, lat, lon, alt - 100.0, gs, gnd)
        self.assertEqual(tm.Track("a", "A", "A320", pts, climbs={p[0]: 3000.0 for p in pts}).noise, 0)
        self.assertEqual(tm.Track("a", "A", "A320", [east(t, 250.0, 8000.0 + 50.0 * t) for t in range(0, 30)]).noise, 0)
        edge = [east(t, 250.0, 8000.0 + 50.0 * t) for t in range(0, 30)]
        edge[1] = (1.0, edge[1][1], edge[1][2], edge[1][3] - 300.0, 250.0, False)
        self.assertEqual(tm.Track("a", "A", "A320", edge, climbs={p[0]: 3000.0 for p in edge}).noise, 0)

    def test_a_lift_off_from_rows_without_altitude_is_no_fault(self):
        # Ground rows carry 0 ft where the feed has none; the field lies at 2000 ft.
        pts = [east(t, 130.0, 0.0, True) for t in range(0, 10)]
        pts += [east(t, 150.0, 2000.0 + 30.0 * (t - 9)) for t in range(10, 30)]
        track = tm.Track("a", "A", "A320", pts, fields=[FIELD])
        self.assertEqual([f for f in track.faults if f[2] == "altitude"], [])
        # A flying row of a taxiing aircraft at 36,000 ft (a broken row) is one.
        pts = [east(t, 15.0, 0.0, True) for t in range(0, 20)]
        t, lat, lon, alt, gs, gnd = pts[10]
        pts[10] = (t, lat, lon, 36000.0, gs, False)
        track = tm.Track("a", "A", "A320", pts, fields=[FIELD])
        self.assertTrue(track.fault_at(10.0, "altitude"))
        # Away from any known field a ground row's altitude tells nothing: not judged.
        far = tm.Track("a", "A", "A320", pts, fields=[(30.0, 30.0, 100.0)])
        self.assertFalse(far.fault_at(10.0, "altitude"))


class PhasesAndPlayOut(unittest.TestCase):
    def test_phase_split(self):
        pts = [east(t, 10.0, 0.0, True) for t in range(0, 60)]                       # taxi
        pts += [east(t, 100.0, 0.0, True, 60.0, pts[-1][2]) for t in range(60, 90)]  # take-off roll
        lon = pts[-1][2]
        pts += [east(t, 160.0, 2000.0 + 40.0 * (t - 89), False, 90.0, lon) for t in range(90, 200)]
        lon, alt = pts[-1][2], pts[-1][3]
        pts += [east(t, 250.0, alt, False, 200.0, lon) for t in range(200, 300)]     # cruise
        lon = pts[-1][2]
        pts += [east(t, 160.0, alt - 20.0 * (t - 299), False, 300.0, lon) for t in range(300, 400)]
        lon = pts[-1][2]
        pts += [east(t, 60.0, 0.0, True, 400.0, lon) for t in range(400, 420)]       # landing roll
        track = tm.Track("a", "A", "A320", pts)
        self.assertEqual(track.phase(30.0), "taxi")
        self.assertEqual(track.phase(70.0), "take-off roll")
        self.assertEqual(track.phase(150.0), "climb")
        self.assertEqual(track.phase(250.0), "cruise")
        self.assertEqual(track.phase(350.0), "approach")
        self.assertEqual(track.phase(410.0), "landing roll")
        self.assertIsNone(track.phase(500.0))

    def test_a_write_is_compared_with_the_recording_thirty_seconds_before(self):
        track = tm.Track("a", "A", "A320", [east(t, 200.0, 5000.0) for t in range(0, 200)])
        on_time = tm.measure_object(writes_on(track, frames(40.0, 150.0)), track)
        self.assertLess(on_time["air_max"], 0.01)
        # Written where the aircraft is at s instead of s - 30: 30 s x 200 kt behind the writes.
        early = tm.measure_object(writes_on(track, frames(40.0, 150.0), delay=0.0), track)
        self.assertAlmostEqual(tm.median(early["air"]), 30.0 * 200.0 * tm.KT, delta=1.0)
        # Halfway between two fixes the recording is interpolated.
        half = track.at(10.5)
        self.assertAlmostEqual(tm.dist_m(half[0], half[1], *track.at(10.0)[:2]), 0.5 * 200.0 * tm.KT, delta=0.01)

    def test_every_write_counts_from_the_first(self):
        # An aircraft created 300 m off that meets the recording 10 s later: the first seconds were
        # left out of the maxima before.
        track = tm.Track("a", "A", "A320", [east(t, 200.0, 5000.0) for t in range(0, 200)])
        writes = [(s, lat + max(0.0, 300.0 - 30.0 * (s - 40.0)) / M_PER_DEG, lon, alt)
                  for s, lat, lon, alt in writes_on(track, frames(40.0, 150.0))]
        res = tm.measure_object(writes, track)
        self.assertAlmostEqual(res["air_max"], 300.0, delta=1.0)
        self.assertLess(res["air_settled"], 0.01)
        line = tm.summary_line([(1, "A", track, res)], aircraft=1, created=1)
        self.assertIn("air p99 267 m, max 300 m (0 m after each aircraft's first 30 s, median 0)", line)


class Counts(unittest.TestCase):
    def test_a_jump_between_two_writes(self):
        track = tm.Track("a", "A", "A320", [east(t, 20.0, 0.0, True) for t in range(0, 200)])
        writes = writes_on(track, frames(40.0, 100.0))
        writes = [(s, lat + (80.0 / M_PER_DEG if s >= 70.0 else 0.0), lon, alt) for s, lat, lon, alt in writes]
        res = tm.measure_object(writes, track)
        self.assertEqual(res["jumps"], 1)
        self.assertEqual(res["phases"]["taxi"]["jumps"], 1)
        self.assertEqual(tm.measure_object(writes_on(track, frames(40.0, 100.0)), track)["jumps"], 0)

    def test_a_frame_of_made_up_ticks_is_no_jump(self):
        # 250 kt in the air; each simulator frame (30 a second) shows the program's 10 ms ticks, and
        # every tenth frame a wake 20 ms late, whose ticks the next frame makes up: 7.7 m in a frame
        # where the aircraft flies 6.4 m at 1.5 times its speed. No jump; 15 m aside is one.
        track = tm.Track("a", "A", "A320", [east(t, 250.0, 5000.0) for t in range(0, 200)])
        writes = []
        for k in range(30 * 60):
            s = 40.0 + k / 30.0
            tick = math.floor((s - (0.02 if k % 10 == 5 else 0.0)) * 100.0) / 100.0
            fix = track.at(tick - tm.DELAY)
            writes.append((s, fix[0], fix[1], fix[2]))
        steps = [tm.dist_m(a[1], a[2], b[1], b[2]) for a, b in zip(writes, writes[1:])]
        self.assertGreater(max(steps), 1.5 * 250.0 * tm.KT / 30.0 + 1.0)
        self.assertEqual(tm.measure_object(writes, track)["jumps"], 0)
        aside = [(s, lat + (15.0 / M_PER_DEG if s >= 70.0 else 0.0), lon, alt) for s, lat, lon, alt in writes]
        self.assertEqual(tm.measure_object(aside, track)["jumps"], 1)

    def test_stuck_while_the_recording_moves_on_also_past_its_end(self):
        track = tm.Track("a", "A", "A320", [east(t, 20.0, 0.0, True) for t in range(0, 100)])
        writes = writes_on(track, frames(40.0, 80.0))
        stand = writes[-1]
        writes += [(s, stand[1], stand[2], 0.0) for s in frames(80.1, 130.0)]
        self.assertGreater(tm.measure_object(writes, track)["stuck_s"], 30.0)
        # Standing still after the recording's last fix, where the real one stood: not stuck.
        track = tm.Track("a", "A", "A320", [east(t, 20.0, 0.0, True) for t in range(0, 50)])
        moving = writes_on(track, frames(40.0, 80.0))
        stand = moving[-1]
        moving += [(s, stand[1], stand[2], 0.0) for s in frames(80.1, 130.0)]
        self.assertEqual(tm.measure_object(moving, track)["stuck_s"], 0.0)
        # Frozen at a gap's end while the feed moves on after the recording ends (stood at the
        # runway end until the run ended): stuck; before, writes past the recording never were.
        track = tm.Track("a", "A", "A320", [east(t, 100.0, 0.0, True) for t in range(0, 60)])
        frozen = writes_on(track, frames(40.0, 60.0))
        stand = frozen[-1]
        frozen += [(s, stand[1], stand[2], 0.0) for s in frames(60.1, 200.0)]
        self.assertGreater(tm.measure_object(frozen, track)["stuck_s"], 30.0)

    def test_a_vertical_jump_beyond_the_records_and_any_aircraft(self):
        pts = [east(t, 150.0, 2000.0 + 40.0 * t) for t in range(0, 120)]  # 2,400 ft/min
        track = tm.Track("a", "A", "A320", pts)
        writes = writes_on(track, frames(40.0, 140.0, fps=30))
        # 290 ft in 1.3 s (13,400 ft/min), held: one jump however many writes it spans.
        jumped = [(s, lat, lon, alt + (290.0 * min(1.0, (s - 80.0) / 1.3) if s >= 80.0 else 0.0))
                  for s, lat, lon, alt in writes]
        self.assertEqual(tm.measure_object(jumped, track)["vjumps"], 1)
        self.assertEqual(tm.measure_object(writes, track)["vjumps"], 0)
        # At 8,000 ft/min, the most the program flies to catch its records: none.
        capped = [(s, lat, lon, alt + (min(400.0, 8000.0 / 60.0 * (s - 80.0)) if s >= 80.0 else 0.0))
                  for s, lat, lon, alt in writes]
        self.assertEqual(tm.measure_object(capped, track)["vjumps"], 0)
        # Records that climb at 12,000 ft/min themselves (their reported rate) allow 18,000.
        fast = [dict(t=t, lat=p[1], lon=p[2], alt=p[3], gs=150.0, vr=12000.0) for t, p in enumerate(pts)]
        fast_track = tm.Track.from_scenario({"hex": "a", "points": fast})
        self.assertEqual(tm.measure_object(jumped, fast_track)["vjumps"], 0)


class Gaps(unittest.TestCase):
    def test_writes_inside_a_gap_longer_than_the_delay_are_counted_apart(self):
        pts = [east(t, 150.0, 3000.0) for t in range(0, 50)] + [east(t, 150.0, 3000.0) for t in range(110, 200)]
        track = tm.Track("a", "A", "A320", pts)
        self.assertEqual(track.gaps, [(49.0, 110.0)])
        self.assertTrue(track.in_gap(80.0))
        self.assertFalse(track.in_gap(49.0))
        self.assertFalse(track.in_gap(120.0))
        writes = writes_on(track, frames(40.0, 200.0))
        writes = [(s, lat + (400.0 / M_PER_DEG if 79.0 < s - 30.0 < 110.0 else 0.0), lon, alt)
                  for s, lat, lon, alt in writes]
        res = tm.measure_object(writes, track)
        self.assertLess(res["air_max"], 0.01)
        self.assertAlmostEqual(res["gap_max"], 400.0, delta=1.0)
        self.assertEqual(res["gap"], len([w for w in writes if 49.0 < w[0] - 30.0 < 110.0]))
        line = tm.summary_line([(1, "A", track, res)], aircraft=1, created=1)
        tail = f"apart, {res['gap']} writes in recording gaps over 30 s (61 s), max 400 m; altitude noise: 0 fixes"
        self.assertIn(tail, line)
        # A gap shorter than the delay is measured as any other second.
        short = tm.Track("a", "A", "A320", [east(t, 150.0, 3000.0) for t in list(range(0, 50)) + list(range(75, 200))])
        self.assertEqual(short.gaps, [])


class Datum(unittest.TestCase):
    def test_the_qnh_the_runway_rows_show(self):
        # Take-off rows reading 300 ft above the 2000 ft field at lift-off: a low QNH (1013.25 -
        # 300 / 27 = 1002.1), which the program flies by and the measure corrects alike.
        rows = [dict(t=t, lat=0.0, lon=t * 1e-4, gnd=1, gs=120.0) for t in range(0, 20)]
        rows += [dict(t=t, lat=0.0, lon=t * 1e-4, gnd=0, gs=150.0, alt=2300.0 + 40.0 * (t - 20)) for t in range(20, 60)]
        tracks = [{"hex": "a", "points": rows}]
        self.assertEqual(tm.datum_qnh(tracks, [FIELD]), 1002)
        self.assertIsNone(tm.datum_qnh(tracks, [(30.0, 30.0, 100.0)]))  # no field near
        # A broken flying row at 36,000 ft beside a ground row is no lift-off.
        broken = [dict(t=t, lat=0.0, lon=0.0, gnd=1, gs=0.0) for t in range(0, 10)]
        broken += [dict(t=10, lat=0.0, lon=0.0, gnd=0, gs=0.0, alt=36000.0)]
        self.assertIsNone(tm.datum_qnh([{"hex": "b", "points": broken}], [FIELD]))
        shifted = tm.Track.from_scenario(tracks[0], [FIELD], alt_shift_ft=(1002 - 1013) * tm.FEET_PER_HPA)
        self.assertAlmostEqual(shifted.at(20.0)[2], 2300.0 - 297.0)


class Replay(unittest.TestCase):
    def test_a_replay_that_created_nothing_says_so_and_fails(self):
        # A track the program does not create (an unknown type): no position write at all. The
        # last line read "air max 0 m (median 0) ... stuck 0, jumps 0" with status 0.
        with tempfile.TemporaryDirectory() as work:
            track = {"hex": "abc123", "callsign": "HEL1", "type": "XXXX",
                     "points": [dict(t=t, lat=47.0, lon=8.0 + t * 1e-4, alt=1500.0, gs=60.0) for t in range(0, 60)]}
            with open(os.path.join(work, "scenario.json"), "w") as f:
                json.dump({"tracks": [track]}, f)
            with open(os.path.join(work, "replay-start.txt"), "w") as f:
                f.write("0\n")
            with open(os.path.join(work, "positions.csv"), "w") as f:
                f.write("frame,sim_s,wall_s,object,lat,lon,alt_ft,heading_rad,tas_kt\n")
            with open(os.path.join(work, "objects.csv"), "w") as f:
                f.write("object,tail,outcome\n")
            with open(os.path.join(work, "run.json"), "w") as f:
                json.dump({"notes": [], "airport": ["X", 47.0, 8.0, 1500.0], "range": 5, "duration": 59}, f)
            r = subprocess.run([sys.executable, os.path.join(TOP, "scripts", "replay"), os.path.join(work, "run.json"),
                                "--measure-only", "--work", work], capture_output=True, text=True)
            self.assertEqual(r.returncode, 1, r.stdout + r.stderr)
            last = r.stdout.strip().splitlines()[-1]
            self.assertTrue(last.startswith("replay: created 0 of 1 tracks, "), last)
            self.assertIn("abc123 HEL1: never in the simulator", r.stdout)


if __name__ == "__main__":
    unittest.main()
