#!/usr/bin/python3
"""Runs the sample full installer under Wine behind a real pipe server that is
set up as the channel stub sets it up (sample_installer_pipe_check), and checks
the protocol it speaks and what it leaves behind: the progress texts, the
failure text, the exit codes, "Quorvane.exe" in the folder, "DisplayIcon" in
the registry, and the exact command line it received.

usage: sample_installer_test.py WINE_RUN PIPE_CHECK_EXE INSTALLER_EXE WORK_DIR
"""
import os
import shutil
import subprocess
import sys
import unittest

WINE_RUN = PIPE_CHECK = INSTALLER = WORK = None


def win(path):
    return "Z:" + path.replace("/", "\\")


def run_case(name, install_dir, forwarded, env=None):
    """Returns the pipe server's observations as a dict of lists."""
    case_dir = os.path.join(WORK, name)
    shutil.rmtree(case_dir, ignore_errors=True)
    os.makedirs(case_dir)
    out = os.path.join(case_dir, "seen.txt")
    p = subprocess.run([WINE_RUN, PIPE_CHECK, win(out), win(INSTALLER), install_dir, *forwarded],
                       capture_output=True, timeout=240,
                       # Wine reads the non-ASCII folder names of these arguments as UTF-8.
                       env=dict(os.environ, LC_ALL="C.UTF-8", **(env or {})))
    if p.returncode != 0 or not os.path.exists(out):
        raise AssertionError(f"pipe check failed ({p.returncode}): {p.stderr.decode(errors='replace')}")
    seen = {}
    with open(out, encoding="utf-8") as f:
        for line in f.read().splitlines():
            key, _, value = line.partition("=")
            seen.setdefault(key, []).append(value)
    return seen


class SampleInstaller(unittest.TestCase):
    def assertMessages(self, seen, expected):
        """Each read holds whole messages (two may arrive joined), in order,
        as UTF-16 text without NUL or byte-order mark."""
        reads = seen.get("message", [])
        for text, size in zip(reads, seen.get("bytes", [])):
            self.assertEqual(int(size), len(text.encode("utf-16-le")), text)
            self.assertNotIn("\0", text)
            self.assertFalse(text.startswith("\ufeff"), text)
        self.assertEqual("".join(reads), "".join(expected))
        boundaries = {sum(len(m) for m in expected[:i]) for i in range(len(expected) + 1)}
        at = 0
        for text in reads:
            at += len(text)
            self.assertIn(at, boundaries, f"a read ended inside a message: {reads}")

    def test_protocol_cases(self):
        stub = "Z:\\stub dir\\QuorvaneSetup_cid5.exe"
        default = ["5", "20", "40", "60", "80", "100"]
        cases = [
            # name, forwarded arguments, exit, messages, installs, connects
            ("success", [stub, "-silent", "-auto-start"], "0", default, True, True),
            ("failure with a detail", ["-sample-fail=disk%20full"], "1",
             ["5", "20", "Failed to install: disk full"], False, True),
            ("failure in another language", ["-sample-fail=x", "-sample-failtext=Installation%20fehlgeschlagen",
                                             "-sample-exit=7"], "7",
             ["5", "20", "Installation fehlgeschlagen: x"], False, True),
            ("failure without a detail", ["-sample-fail", "-sample-steps="], "1", ["Failed to install"], False, True),
            ("never connects", ["-sample-noconnect"], "0", [], True, False),
            ("joined values", ["-sample-joined"], "0", ["5", "5758", "100"], True, True),
            ("chosen steps", ["-sample-steps=5,6,100", "-sample-slow=200"], "0", ["5", "6", "100"], True, True),
            ("exit code of a success", ["-sample-exit=3"], "3", default, True, True),
        ]
        for name, forwarded, exit_code, messages, installs, connects in cases:
            with self.subTest(name):
                folder = os.path.join(WORK, name.replace(" ", "_") + "_folder", "Quorvane dir")
                shutil.rmtree(os.path.dirname(folder), ignore_errors=True)
                seen = run_case(name.replace(" ", "_"), win(folder), forwarded)
                self.assertEqual(seen["exit"], [exit_code])
                self.assertEqual(seen["connected"], ["1" if connects else "0"])
                if "joined" in name:
                    self.assertIn("5758", seen["message"])  # one write, one read
                self.assertMessages(seen, messages)
                client = os.path.join(folder, "Quorvane.exe")
                self.assertEqual(os.path.exists(client), installs)
                if installs:
                    with open(client, "rb") as a, open(os.path.join(os.path.dirname(INSTALLER), "Quorvane.exe"),
                                                       "rb") as b:
                        self.assertEqual(a.read(), b.read())
                    self.assertEqual(seen["displayicon"], [win(client)])
                    # The installed client runs and marks its start.
                    with open(os.path.join(folder, "client_started.txt")) as f:
                        self.assertTrue(f.read().startswith(f"started {seen['client_pid'][0]} "))
                else:
                    self.assertNotIn("displayicon", seen)
                # The exact command line the stub builds, blanks included.
                with open(os.path.join(folder, "installer_args.txt"), encoding="utf-8", newline="") as f:
                    first = f.read().split("\r\n")[0]
                pipe = first.split(" -pipename=")[1].split(" ")[0] if " -pipename=" in first else ""
                self.assertTrue(pipe.startswith("\\\\.\\pipe\\autoupdate_pipe_quorvane_"), first)
                self.assertEqual(first, f"cmdline= -pipename={pipe}  -silent -auto-start  -launch-by-channel "
                                        f"-install-path \"{win(folder)}\" {' '.join(forwarded)} ")

    def test_client_marks_its_start_in_the_folder_given(self):
        marks = os.path.join(WORK, "marks")
        shutil.rmtree(marks, ignore_errors=True)
        os.makedirs(marks)
        folder = os.path.join(WORK, "marks_folder")
        shutil.rmtree(folder, ignore_errors=True)
        seen = run_case("marks", win(folder), [], env={"QV_SAMPLE_CLIENT_DIR": win(marks)})
        self.assertEqual(seen["exit"], ["0"])
        with open(os.path.join(marks, "client_started.txt")) as f:
            self.assertEqual(f.read().split(" ")[:2], ["started", seen["client_pid"][0]])
        self.assertFalse(os.path.exists(os.path.join(folder, "client_started.txt")))

    def test_folder_ending_in_a_backslash_with_a_non_ascii_name(self):
        # The stub quotes the folder as it is; a trailing backslash before the
        # closing quote must not swallow the arguments that follow.
        folder = os.path.join(WORK, "backslash_folder", "Quorvane \u00e9t\u00e9")
        shutil.rmtree(os.path.dirname(folder), ignore_errors=True)
        seen = run_case("backslash", win(folder) + "\\", ["-sample-steps=7,100"])
        self.assertEqual((seen["exit"], seen["message"]), (["0"], ["7", "100"]))
        self.assertEqual(seen["displayicon"], [win(folder) + "\\Quorvane.exe"])
        self.assertTrue(os.path.exists(os.path.join(folder, "Quorvane.exe")))

    def test_folder_that_cannot_be_made_fails_with_a_text(self):
        seen = run_case("bad_folder", "Q:\\no such drive\\Quorvane", [])
        self.assertEqual(seen["exit"], ["1"])
        self.assertEqual(seen["message"][0], "5")
        self.assertTrue(seen["message"][-1].startswith("Failed to install: cannot write Q:\\no such drive"),
                        seen["message"])
        self.assertNotIn("displayicon", seen)


if __name__ == "__main__":
    WINE_RUN, PIPE_CHECK, INSTALLER, WORK = (os.path.abspath(a) for a in sys.argv[1:5])
    del sys.argv[1:5]
    os.makedirs(WORK, exist_ok=True)
    unittest.main(verbosity=2)
