#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""nimbo-decode --sonde rs41 on RS41 recordings of the simulator (made from the published
frame, not by NIMBO): on FM Det audio, the 12 kHz IF (carrier off) and I/Q, every frame after
the first comes out whole (number, serial, position and time as sent), no line names a frame
that was not sent, and the published frame's fields read as published.

    check_rs41.py --decoder build/tools/nimbo-decode
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import simulate  # noqa: E402

DECODER = None
FRAMES = 8
FIRST = 5910

CASES = [  # path, Eb/N0 per bit at 4800 bit/s, carrier offset (Hz), seed, decoder options
    ("fm", 12.0, 0.0, 31, []),
    ("fm", None, 0.0, 32, []),
    ("if", 11.0, 1200.0, 33, ["--if"]),
    ("iq", 10.0, -4000.0, 34, ["--iq", "--format", "f32", "--rate", "48000"]),
]


class Rs41(unittest.TestCase):
    def test_frames_come_out_as_sent(self):
        for path, ebn0, offset, seed, opts in CASES:
            with self.subTest(path=path, ebn0=ebn0), tempfile.TemporaryDirectory() as d:
                out = os.path.join(d, "rec.wav" if path != "iq" else "rec.f32")
                sent, _ = simulate.simulate(path, out, FRAMES, ebn0, seed, offset, fmt="f32",
                                            first_frame=FIRST, sonde="rs41")
                run = subprocess.run([DECODER, "--sonde", "rs41", *opts, out], check=True,
                                     capture_output=True, text=True)
                lines = [json.loads(x) for x in run.stdout.splitlines()]
                numbers = [x["frame"] for x in lines if x.get("crc_ok")]
                self.assertTrue(set(numbers) <= set(range(FIRST, FIRST + FRAMES)), numbers)
                self.assertEqual(set(range(FIRST + 1, FIRST + FRAMES)) - set(numbers), set())
                for x in lines:
                    if not x.get("crc_ok"):
                        continue
                    i = x["frame"] - FIRST
                    self.assertEqual(x["type"], "RS41")
                    self.assertEqual(x["serial"], "K1930293")
                    self.assertEqual(x["subframe"], (44 + i) % 51)
                    # The published frame's position and the time moved on a second a frame.
                    self.assertAlmostEqual(x["lat"], 46.05026, places=5)
                    self.assertAlmostEqual(x["lon"], 16.11077, places=5)
                    self.assertAlmostEqual(x["alt"], 28410.0, delta=0.1)
                    self.assertAlmostEqual(x["vel_v"], -36.2, delta=0.05)
                    self.assertEqual(x["sats"], 8)
                    self.assertEqual(x["datetime"], "2014-07-07T12:37:%02dZ" % (38 + i))
                    # Subframe 0 (frame 5917) names 405.3 MHz: from then on it is known.
                    if x["frame"] >= FIRST + 7:
                        self.assertAlmostEqual(x["freq_mhz"], 405.3, places=5)
                    else:
                        self.assertNotIn("freq_mhz", x)
                    # The measurement block's 42 data bytes lie at 103..144 of the frame.
                    self.assertEqual(bytes.fromhex(x["meas"]), sent[i][103:145])


if __name__ == "__main__":
    p = argparse.ArgumentParser()
    p.add_argument("--decoder", required=True)
    a, rest = p.parse_known_args()
    DECODER = a.decoder
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
