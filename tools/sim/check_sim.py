#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks of the simulator against values worked out by hand, and against nimbo-decode:
its frames must pass the decoder's CRCs, its parity must let the decoder's Reed-Solomon
repair undo damage, and clean recordings must decode completely on every path.

    check_sim.py --decoder build/tools/nimbo-decode
"""

import argparse
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import frames as F  # noqa: E402
import modem as M  # noqa: E402
import simulate as S  # noqa: E402

DECODER = None


class LineCoding(unittest.TestCase):
    def test_bytes_as_ten_bits_lsb_first(self):
        cases = [  # byte, bits on the air (start, b0..b7, stop)
            (0x00, [0, 0, 0, 0, 0, 0, 0, 0, 0, 1]),
            (0x01, [0, 1, 0, 0, 0, 0, 0, 0, 0, 1]),
            (0x2A, [0, 0, 1, 0, 1, 0, 1, 0, 0, 1]),
            (0x80, [0, 0, 0, 0, 0, 0, 0, 0, 1, 1]),
            (0xFF, [0, 1, 1, 1, 1, 1, 1, 1, 1, 1]),
        ]
        for byte, bits in cases:
            self.assertEqual(list(M.byte_bits([byte])), bits, hex(byte))

    def test_manchester_one_is_low_then_high(self):
        self.assertEqual(list(M.manchester(np.array([1, 0, 1, 1], dtype=np.int8))),
                         [0, 1, 1, 0, 0, 1, 0, 1])


class Checks(unittest.TestCase):
    def test_crc_published_check_value(self):
        self.assertEqual(F.crc16(b"123456789"), 0x29B1)
        self.assertEqual(F.crc16(b""), 0xFFFF)

    def test_parity_makes_a_codeword_that_one_changed_byte_breaks(self):
        sent = F.Sonde(seed=5).sent_frame(3)
        word = F.codeword_of(sent)
        self.assertEqual(len(word), 234)
        self.assertEqual(F.syndromes(word), [0] * 24)
        for position in (0, 23, 24, 233):
            bad = bytearray(word)
            bad[position] ^= 0x01
            self.assertNotEqual(F.syndromes(bytes(bad)), [0] * 24, position)

    def test_generator_has_the_24_consecutive_roots(self):
        def value(poly, x):
            out = 0
            for c in reversed(poly):
                out = F.gf_mul(out, x) ^ c
            return out
        self.assertEqual(len(F.GENERATOR), 25)
        self.assertEqual([value(F.GENERATOR, F.GF_EXP[i]) for i in range(24)], [0] * 24)
        self.assertNotEqual(value(F.GENERATOR, F.GF_EXP[24]), 0)

    def test_collected_frame_layout(self):
        sent = [F.Sonde(first_frame=65535, seed=2).sent_frame(i) for i in range(3)]
        got = F.collected_frames(sent)
        self.assertEqual(len(got), 2)
        self.assertEqual(got[0][:24], sent[0][216:])
        self.assertEqual(got[0][24:30], bytes([0x2A] * 5 + [0x10]))
        self.assertEqual(got[0][32:34], bytes([0x00, 0x00]))  # 65536 wraps to 0
        self.assertEqual(got[1][32:34], bytes([0x01, 0x00]))
        self.assertEqual(got[0][36:44], b"P3140972")
        self.assertEqual(sent[1][196:216], F.TAIL)
        for name in F.BLOCKS:
            self.assertTrue(F.block_ok(got[1], name), name)


class Signal(unittest.TestCase):
    RATE = 48000

    def instantaneous_hz(self, symbols, offset=0.0):
        tx = M.Transmitter(symbols, 0.0, offset_hz=offset, phase0=1.0)
        t = np.arange(int(len(symbols) * self.RATE / M.SYMBOL_RATE)) / self.RATE
        z = tx.baseband(t)
        return np.angle(z[1:] * np.conj(z[:-1])) * self.RATE / (2 * math.pi), t[1:]

    def test_steady_and_alternating_deviation(self):
        # A long run of one symbol reaches the full 2400 Hz. Alternating symbols reach, at a
        # symbol's centre, 2400 x (p(0) - 2 p(1)), where the BT 0.5 pulse is p(0) = erf(1.334)
        # = 0.9409 and p(1) = (erf(4.0) - erf(1.334)) / 2 = 0.0296: 2116 Hz.
        ones = np.ones(60, dtype=np.int8)
        hz, _ = self.instantaneous_hz(ones)
        self.assertAlmostEqual(np.median(hz[100:500]), 2400.0, delta=2.0)
        alternating = np.tile(np.array([1, 0], dtype=np.int8), 60)
        tx = M.Transmitter(alternating, 0.0, phase0=1.0)
        centres = (np.arange(20, 100) + 0.5) / M.SYMBOL_RATE
        h = 5e-6  # the frequency at the centre, from the phase 5 us either side
        hz = np.angle(tx.baseband(centres + h) * np.conj(tx.baseband(centres - h))) / (4 * math.pi * h)
        self.assertTrue(np.all(np.sign(hz) == 2 * alternating[20:100] - 1))
        self.assertAlmostEqual(float(np.mean(abs(hz))), 2116.0, delta=5.0)

    def test_carrier_offset_is_the_mean_frequency(self):
        # Manchester symbols are balanced, so the mean frequency over whole bytes is the offset.
        symbols = M.manchester(M.byte_bits(bytes(range(40))))
        for offset in (0.0, 1500.0, -2500.0, 9000.0):
            tx = M.Transmitter(symbols, 0.0, offset_hz=offset)
            t = np.arange(int(len(symbols) * self.RATE / M.SYMBOL_RATE) + 1) / self.RATE
            z = tx.baseband(t[:-1])
            turns = np.sum(np.angle(z[1:] * np.conj(z[:-1]))) / (2 * math.pi)
            self.assertAlmostEqual(turns / (t[-2] - t[0]), offset, delta=1.0, msg=offset)

    def test_noise_variance_from_eb_n0(self):
        # 48000 / (2400 x 10^(0/10)) = 20 at 0 dB; 48000 / (2400 x 10) = 2 at 10 dB.
        for db, variance in ((0.0, 20.0), (10.0, 2.0)):
            tx = M.Transmitter(np.zeros(0), 10.0)  # never on
            rec = M.Recording(tx, self.RATE, 2.0, db, np.random.default_rng(1))
            z = np.concatenate(list(rec.blocks()))
            self.assertAlmostEqual(float(np.mean(abs(z) ** 2)), variance, delta=0.02 * variance)

    def test_drops_and_inserts_change_the_length(self):
        for events, length in (([], 1000), ([(100, "drop", 30)], 970), ([(100, "insert", 30)], 1030),
                               ([(100, "drop", 30), (500, "insert", 7)], 977)):
            self.assertEqual(M.Timeline(1000, events).length, length)
        line = M.Timeline(1000, [(100, "drop", 30), (500, "insert", 7)])
        src = line.source(np.array([99, 100, 469, 470, 476, 477]))
        self.assertEqual(list(src[:3]), [99, 130, 499])
        self.assertTrue(np.isnan(src[3]) and np.isnan(src[4]))
        self.assertEqual(src[5], 500)


class Scoring(unittest.TestCase):
    def test_lines_sorted_into_whole_good_and_never_sent(self):
        import measure
        _, truth, partial = S.build_stream(5, seed=3)

        def line(data, ok=(True, True, True)):
            return json.dumps({"bytes": data.hex().upper(), "sonde_ok": ok[0], "sensor_ok": ok[1],
                               "gps_ok": ok[2]})

        def changed(frame, index):
            out = bytearray(frame)
            out[index] ^= 0x40
            return bytes(out)

        cases = [  # lines, (whole, good, never sent, lock)
            ([], (0, 0, 0, None)),
            ([line(truth[2]), line(truth[3]), line(truth[3])], (2, 2, 0, 2)),
            ([line(changed(truth[1], 5))], (0, 1, 0, 1)),  # parity as heard
            ([line(changed(truth[1], 26))], (0, 1, 0, 1)),  # sync byte as heard
            ([line(changed(truth[1], 40))], (0, 0, 1, None)),  # serial changed, CRC "good"
            ([line(changed(truth[1], 200), (True, True, False))], (0, 0, 0, None)),  # GPS failed
            ([line(changed(truth[1], 200), (True, True, True))], (0, 0, 1, None)),
            ([line(changed(truth[4], 70), (True, False, True))], (0, 0, 0, None)),
            ([line(partial)], (0, 0, 0, None)),  # the frame before the first is no miscorrection
            ([line(truth[0]), line(changed(truth[0], 100))], (1, 1, 1, 0)),
        ]
        for lines, expected in cases:
            got = measure.score(lines, truth, partial)
            self.assertEqual((got["whole"], got["good"], got["never_sent"], got["lock"]), expected, lines and
                             lines[0][:40])

    def test_90_percent_point_interpolates_between_steps(self):
        import measure
        cases = [
            ([(7.0, 0.5), (7.5, 0.8), (8.0, 1.0)], "7.75"),
            ([(7.0, 0.5), (8.0, 0.9)], "8.00"),
            ([(7.0, 0.95), (8.0, 1.0)], "<= 7.00"),
            ([(7.0, 0.1), (8.0, 0.5)], "> 8.00"),
        ]
        for rows, expected in cases:
            self.assertEqual(measure.point90(rows), expected, rows)


class ThroughTheDecoder(unittest.TestCase):
    FRAMES = 10

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="nimbo-sim-check-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def decode(self, *args):
        run = subprocess.run([DECODER, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True, timeout=120)
        self.assertEqual(run.returncode, 0, run.stderr)
        return [json.loads(line) for line in run.stdout.splitlines()]

    def test_raw_log_passes_the_decoders_crcs(self):
        path = os.path.join(self.dir, "log.txt")
        truth, _ = S.simulate("log", path, frames=self.FRAMES, seed=4, serial="Q7654321", first_frame=1020)
        lines = self.decode("--import", path)
        self.assertEqual([j["frame"] for j in lines], list(range(1020, 1020 + self.FRAMES)))
        for j, t in zip(lines, truth):
            self.assertEqual((j["serial"], j["sonde_ok"], j["sensor_ok"], j["gps_ok"]),
                             ("Q7654321", True, True, True))
            self.assertEqual(bytes.fromhex(j["bytes"]), t)
        self.assertEqual([j["cal_index"] for j in lines], [28, 29, 30, 31, 0, 1, 2, 3, 4, 5])
        # The frequency travels in piece 0 only (frame 1024): 405.30 MHz, code 530.
        self.assertEqual([j.get("freq_mhz") for j in lines], [None] * 4 + [405.30] + [None] * 5)

    def run_clean(self, kind, decoder_args, **sim):
        path = os.path.join(self.dir, kind + ".wav")
        truth, _ = S.simulate(kind, path, frames=self.FRAMES, seed=11, **sim)
        for extra in ([], ["--weak"]):
            with self.subTest(kind=kind, args=decoder_args + extra):
                got = [bytes.fromhex(j["bytes"]) for j in self.decode(*decoder_args, *extra, path)
                       if j["sonde_ok"] and j["sensor_ok"] and j["gps_ok"]]
                self.assertEqual(got, truth)

    def test_clean_fm_recording_decodes_completely(self):
        self.run_clean("fm", [])

    def test_clean_if_recording_decodes_completely(self):
        self.run_clean("if", ["--if"], offset_hz=200.0)

    def test_clean_iq_recording_decodes_completely(self):
        self.run_clean("iq", ["--iq", "--format", "u8", "--rate", "240000", "--offset", "20000"],
                       offset_hz=26000.0, rate=240000, fmt="u8")

    def test_repair_undoes_damage_with_this_parity(self):
        path = os.path.join(self.dir, "damaged.wav")
        truth, _ = S.simulate("fm", path, frames=self.FRAMES, seed=12, byte_errors=6)
        lines = self.decode("--weak", path)
        self.assertEqual([bytes.fromhex(j["bytes"]) for j in lines], truth)
        self.assertEqual([j["corrected"] for j in lines], [6] * self.FRAMES)


if __name__ == "__main__":
    p = argparse.ArgumentParser()
    p.add_argument("--decoder", required=True)
    a, rest = p.parse_known_args()
    DECODER = a.decoder
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
