#!/usr/bin/env python3
"""tools/gen_jpk_model.py: --out writes the typed views elsewhere, --check
tells a stale or missing file by name and changes nothing."""

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "gen_jpk_model.py")


def run(*args):
    return subprocess.run([sys.executable, SCRIPT, *args], capture_output=True, text=True)


def contents(folder):
    files = {}
    for name in os.listdir(folder):
        with open(os.path.join(folder, name), "rb") as f:
            files[name] = f.read()
    return files


class GenJpkModel(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.out = self.tmp.name
        result = run("--out", self.out)
        self.assertEqual(result.returncode, 0, result.stderr)

    def tearDown(self):
        self.tmp.cleanup()

    def test_fresh_output_passes_the_check(self):
        self.assertIn("Schemat_JPK_V7M3_v10E.cpp", os.listdir(self.out))
        self.assertEqual(len(os.listdir(self.out)), 8)
        result = run("--check", "--out", self.out)
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_check_names_what_differs_and_writes_nothing(self):
        def append(name):
            with open(os.path.join(self.out, name), "a") as f:
                f.write("// edited by hand\n")

        def remove(name):
            os.remove(os.path.join(self.out, name))

        cases = [
            ("edited header", "Schemat_JPK_KR1_v10.h", append, "Schemat_JPK_KR1_v10.h"),
            ("edited source", "Schemat_JPK_FA4_v10.cpp", append, "Schemat_JPK_FA4_v10.cpp"),
            ("missing file", "Schemat_JPK_MAG1_v10.h", remove, "Schemat_JPK_MAG1_v10.h (missing)"),
        ]
        for what, name, damage, reported in cases:
            with self.subTest(what):
                self.assertEqual(run("--out", self.out).returncode, 0)
                damage(name)
                before = contents(self.out)
                result = run("--check", "--out", self.out)
                self.assertEqual(result.returncode, 1)
                self.assertIn(reported, result.stderr)
                for other in ("Schemat_JPK_V7M3_v10E.h", "Schemat_JPK_V7M3_v10E.cpp"):
                    self.assertNotIn(other, result.stderr)
                self.assertEqual(contents(self.out), before)


if __name__ == "__main__":
    unittest.main()
