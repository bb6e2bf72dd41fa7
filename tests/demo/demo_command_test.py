#!/usr/bin/env python3
"""scripts/demo as a user starts it, against an existing build folder (argv[1]).

Arguments: --help prints the usage and runs nothing, an unknown argument and a bad
TAVIX_DEMO_SECONDS stop before the build with a clear message and leave no work folder.
Interrupted: Ctrl-C (SIGINT to the demo's process group) and SIGTERM to the demo close Tavix through
its normal exit and wait for it, so no Tavix is left running and the next demo is not refused.

Usage: demo_command_test.py BUILD_DIR [unittest arguments, e.g. DemoCommand.test_arguments]
"""
import os
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = None


def tavix_processes(runtime_dir):
    """Pids of the tavix programs started with this XDG_RUNTIME_DIR (where their single-instance
    lock lives)."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            exe = os.readlink(f"/proc/{entry}/exe")
            with open(f"/proc/{entry}/environ", "rb") as f:
                environ = f.read().split(b"\0")
        except OSError:
            continue
        if os.path.basename(exe) == "tavix" and b"XDG_RUNTIME_DIR=" + runtime_dir.encode() in environ:
            found.append(int(entry))
    return found


class Demo:
    """scripts/demo in its own session, as a terminal runs a command: its own process group, SIGINT
    at its default."""

    def __init__(self, env):
        self.lines = []
        self.proc = subprocess.Popen(
            [os.path.join(TOP, "scripts", "demo")], cwd=TOP, env=env, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, text=True, start_new_session=True,
            preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        self.reader = threading.Thread(target=lambda: self.lines.extend(self.proc.stdout), daemon=True)
        self.reader.start()

    def output(self):
        return "".join(self.lines)

    def wait_for_tavix(self, runtime_dir, limit=120.0):
        """The work folder once the demo's tavix runs, or None."""
        until = time.time() + limit
        while time.time() < until and self.proc.poll() is None:
            m = re.search(r"^== work folder (.+)$", self.output(), re.M)
            if m and tavix_processes(runtime_dir):
                return m.group(1)
            time.sleep(0.2)
        return None


class DemoCommand(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="demo-command.")
        self.env = dict(os.environ, TMPDIR=os.path.join(self.tmp, "tmp"), XDG_RUNTIME_DIR=self.tmp,
                        TAVIX_BUILD_DIR=BUILD, TAVIX_DEMO_SECONDS="120", TAVIX_JOBS="2")
        self.env.pop("TAVIX_DEMO_DIR", None)
        os.makedirs(self.env["TMPDIR"])
        self.demos = []

    def tearDown(self):
        # Whatever a failed case left: the demos' groups, then any tavix of this case.
        for demo in self.demos:
            if demo.proc.poll() is None:
                os.killpg(demo.proc.pid, signal.SIGKILL)
                demo.proc.wait()
        for pid in tavix_processes(self.tmp):
            os.kill(pid, signal.SIGKILL)
        subprocess.run(["rm", "-rf", self.tmp], check=False)

    def start(self, **env):
        demo = Demo(dict(self.env, **env))
        self.demos.append(demo)
        return demo

    def work_folders(self):
        return [n for n in os.listdir(self.env["TMPDIR"]) if n.startswith("tavix-demo.")]

    def test_arguments(self):
        for args, env, status, text in (
                (["--help"], {}, 0, "Usage: scripts/demo"),
                (["--verbose"], {}, 2, "demo: unknown argument '--verbose'\nUsage: scripts/demo"),
                ([], {"TAVIX_DEMO_SECONDS": "abc"}, 2,
                 "demo: TAVIX_DEMO_SECONDS must be a whole number above 0, not 'abc'")):
            with self.subTest(args=args, env=env):
                run = subprocess.run([os.path.join(TOP, "scripts", "demo")] + args, cwd=TOP,
                                     env=dict(self.env, **env), capture_output=True, text=True, timeout=60,
                                     start_new_session=True)
                self.assertEqual(run.returncode, status, run.stdout + run.stderr)
                self.assertIn(text, run.stdout if status == 0 else run.stderr)
                self.assertNotIn("== building", run.stdout)
                self.assertEqual(self.work_folders(), [])

    def test_interrupted_demo_closes_tavix(self):
        # Ctrl-C: SIGINT to the whole group. The demo ends as interrupted, with Tavix closed and its
        # temporary work folder removed.
        demo = self.start()
        work = demo.wait_for_tavix(self.tmp)
        self.assertIsNotNone(work, demo.output())
        os.killpg(demo.proc.pid, signal.SIGINT)
        status = demo.proc.wait(timeout=90)
        self.assertEqual(tavix_processes(self.tmp), [], "a tavix runs on after the demo ended")
        self.assertEqual(status, 130, demo.output())
        self.assertFalse(os.path.exists(work))
        self.assertEqual(self.work_folders(), [])

        # The next demo runs (not "already running"); SIGTERM to the demo alone closes Tavix through
        # its normal exit, and TAVIX_DEMO_DIR keeps the work folder.
        keep = os.path.join(self.tmp, "kept")
        demo = self.start(TAVIX_DEMO_DIR=keep)
        self.assertIsNotNone(demo.wait_for_tavix(self.tmp), demo.output())
        time.sleep(2.0)
        self.assertTrue(tavix_processes(self.tmp), demo.output())
        demo.proc.send_signal(signal.SIGTERM)
        status = demo.proc.wait(timeout=90)
        self.assertEqual(tavix_processes(self.tmp), [], "a tavix runs on after the demo ended")
        self.assertEqual(status, 143, demo.output())
        with open(os.path.join(keep, "run", "Log.txt"), errors="replace") as f:
            self.assertIn("Exiting: USER CLOSED SIM", f.read())
        self.assertNotIn("already running", demo.output())


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv.pop(1))
    unittest.main()
