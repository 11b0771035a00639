#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Simulated RS92 recordings with known content, made without any of NIMBO's own code.

    simulate.py fm  OUT.wav --frames 40 --ebn0 9 --seed 3 --truth OUT.truth
    simulate.py if  OUT.wav --frames 40 --ebn0 8 --offset 1500
    simulate.py iq  OUT.raw --format u8 --rate 240000 --offset 20000 --ebn0 7
    simulate.py log OUT.txt --frames 10          (a raw frame log: no signal at all)
    simulate.py fm  OUT.wav --sonde rs41 --ebn0 10  (RS41 frames, NRZ; Eb/N0 per bit at 4800 bit/s)

The truth file holds the collected frames that were sent whole, one line each, 220 bytes as
hex, in the order a raw frame log would hold them.
"""

import argparse
import math
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import frames as F  # noqa: E402
import modem as M  # noqa: E402
import rs41 as R  # noqa: E402

LEAD_S = (0.2, 0.7)  # noise before the carrier comes on: drawn from this range
TAIL_S = 0.3  # noise after it goes off


def parse_when(text):
    """'12.5' (seconds of the transmission) or 'f100' (the middle of collected frame 100)."""
    if text.startswith("f"):
        return ("frame", int(text[1:]))
    return ("time", float(text))


def build_stream(frames, seed, serial="P3140972", first_frame=1000, byte_errors=0):
    """Sent frames -1 .. frames-1 and the first bytes of the next; the collected frames
    0 .. frames-1 they carry whole; and collected frame -1 with its parity part unknown (zero),
    whose blocks may be heard too. `byte_errors` bytes of every sent frame (inside its
    CRC-protected blocks) are damaged after the parity is computed."""
    sonde = F.Sonde(serial=serial, first_frame=first_frame - 1, seed=seed)
    sent = [sonde.sent_frame(i) for i in range(frames + 2)]
    truth = F.collected_frames(sent)[:frames]
    partial = bytes(F.PARITY_BYTES) + sent[0][:F.HEAD_BYTES]
    rng = np.random.default_rng(seed + 7919)
    on_air = []
    for s in sent:
        s = bytearray(s)
        if byte_errors:
            # sent byte i is collected byte i + 24; blocks at collected 32..219
            where = rng.choice(np.arange(32 - 24, 196), size=byte_errors, replace=False)
            for i in where:
                s[i] ^= int(rng.integers(1, 256))
        on_air.append(bytes(s))
    stream = b"".join(on_air[:-1]) + on_air[-1][:8]
    return stream, truth, partial


def write(kind, out, rec, fmt, invert, if_filter_hz):
    """The recording as the receiver of that kind hands it over."""
    if kind == "fm":
        M.write_fm(out, rec, invert, if_filter_hz)
    elif kind == "if":
        M.write_if(out, rec)
    elif kind == "iq":
        M.write_iq(out, rec, fmt)
    else:
        raise ValueError(kind)


def simulate(kind, out, frames=40, ebn0_db=None, seed=1, offset_hz=0.0, symbol_rate=M.SYMBOL_RATE,
             rate=None, fmt="s16", drops=(), inserts=(), bursts=None, invert=False,
             byte_errors=0, truth_path=None, serial="P3140972", first_frame=1000,
             if_filter_hz=M.IF_FILTER_HZ, sonde="rs92"):
    """Writes one recording; returns the collected frames that were sent whole, and collected
    frame -1 (parity unknown) that came before them."""
    rng = np.random.default_rng(seed)
    if sonde == "rs41":
        return simulate_rs41(kind, out, frames, ebn0_db, rng, offset_hz, rate, fmt, invert,
                             truth_path, first_frame, if_filter_hz)
    stream, truth, partial = build_stream(frames, seed, serial, first_frame, byte_errors)
    if truth_path:
        with open(truth_path, "w") as f:
            f.write("".join(t.hex().upper() + "\n" for t in truth))
    if kind == "log":
        with open(out, "w", newline="") as f:
            f.write("".join(F.raw_log_line(t) + "\r\n" for t in truth))
        return truth, partial

    symbols = M.manchester(M.byte_bits(stream))
    T = 1.0 / symbol_rate
    frame_s = F.SENT_BYTES * 20 * T
    lead = rng.uniform(*LEAD_S)
    # The carrier comes on somewhere in the first half of sent frame -1.
    skip = rng.uniform(0.0, 0.5 * frame_s)
    t0 = lead - skip
    tx = M.Transmitter(symbols, t0, symbol_rate, offset_hz, rng.uniform(0, 2 * math.pi), t_on=lead)
    seconds = tx.t_off + TAIL_S
    rate = rate or M.AUDIO_RATE

    def source_sample(when):
        kind_, value = when
        if kind_ == "frame":  # collected frame k is mostly sent frame k
            return int(round((t0 + (value + 1) * frame_s + 0.5 * frame_s) * rate))
        return int(round(value * rate))

    events = [(source_sample(parse_when(w)), "drop", n) for w, n in drops]
    events += [(source_sample(parse_when(w)), "insert", n) for w, n in inserts]
    rec = M.Recording(tx, rate, seconds, ebn0_db, rng, events, bursts)
    write(kind, out, rec, fmt, invert, if_filter_hz)
    return truth, partial


def simulate_rs41(kind, out, frames, ebn0_db, rng, offset_hz, rate, fmt, invert, truth_path,
                  first_frame, if_filter_hz):
    """An RS41 recording: `frames` frames, one a second, from the published frame (rs41.py).
    The truth file holds each frame sent, descrambled, as hex."""
    bits, sent = R.stream(frames, first_frame)
    if truth_path:
        with open(truth_path, "w") as f:
            f.write("".join(t.hex().upper() + "\n" for t in sent))
    lead = rng.uniform(*LEAD_S)
    tx = M.Transmitter(bits, lead, R.BIT_RATE, offset_hz, rng.uniform(0, 2 * math.pi))
    # Eb/N0 per bit at 4800 bit/s is 3 dB more than per bit at the RS92's 2400 for one noise.
    channel_db = None if ebn0_db is None else ebn0_db + 10.0 * math.log10(R.BIT_RATE / M.BIT_RATE)
    rec = M.Recording(tx, rate or M.AUDIO_RATE, tx.t_off + TAIL_S, channel_db, rng)
    write(kind, out, rec, fmt, invert, if_filter_hz)
    return sent, None


def _event(text):
    when, _, count = text.rpartition(":")
    return when, int(count)


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("kind", choices=["fm", "if", "iq", "log"])
    p.add_argument("out")
    p.add_argument("--frames", type=int, default=40, help="collected frames sent whole (40)")
    p.add_argument("--ebn0", type=float, help="Eb/N0 per data bit in dB (default: no noise)")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--offset", type=float, default=0.0, help="carrier offset in Hz")
    p.add_argument("--symbol-rate", type=float, default=M.SYMBOL_RATE)
    p.add_argument("--rate", type=int, help="iq: samples per second (default 48000)")
    p.add_argument("--format", default="s16", choices=["u8", "s16", "f32"], help="iq sample format")
    p.add_argument("--drop", action="append", default=[], type=_event, metavar="WHEN:N",
                   help="drop N samples at WHEN (seconds, or fK: the middle of frame K)")
    p.add_argument("--insert", action="append", default=[], type=_event, metavar="WHEN:N",
                   help="insert N samples of noise only at WHEN")
    p.add_argument("--bursts", metavar="PERIOD:DURATION:DB",
                   help="extra noise DB above the signal power for DURATION s every PERIOD s")
    p.add_argument("--invert", action="store_true", help="fm: negate the discriminator output")
    p.add_argument("--byte-errors", type=int, default=0,
                   help="damage this many bytes of every sent frame after the parity is made")
    p.add_argument("--if-filter", type=float, default=M.IF_FILTER_HZ,
                   help="fm: -3 dB edge of the receiver's IF filter, Hz either side (%(default)g)")
    p.add_argument("--serial", default="P3140972")
    p.add_argument("--first-frame", type=int, default=1000, help="number of the first frame sent whole")
    p.add_argument("--truth", help="write the frames sent whole here")
    p.add_argument("--sonde", default="rs92", choices=["rs92", "rs41"])
    a = p.parse_args(argv)
    bursts = tuple(float(x) for x in a.bursts.split(":")) if a.bursts else None
    simulate(a.kind, a.out, a.frames, a.ebn0, a.seed, a.offset, a.symbol_rate, a.rate, a.format,
             a.drop, a.insert, bursts, a.invert, a.byte_errors, a.truth, a.serial, a.first_frame, a.if_filter,
             a.sonde)


if __name__ == "__main__":
    main()
