#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Measures nimbo-decode on simulated recordings over a grid of Eb/N0, carrier offsets and
seeds, and scores every frame it prints against what was sent.

Per setting: frames whole (all three CRCs good and all 220 bytes as sent), frames with CRCs
good (the three blocks as sent, the bytes before them perhaps as heard), frames whose good
blocks hold content that was never sent (must be 0), and the lock time: the index of the
first frame with good CRCs. Per path and offset: the 90 % points, the lowest Eb/N0 at which
90 % of the frames are whole (or have good CRCs), interpolated between grid steps.

Examples:
    measure.py --paths fm,if --ebn0 6:12:0.5 --seeds 10
    measure.py --paths if --ebn0 9 --offsets 0,500,-500,1500,-1500 --seeds 5
    measure.py --paths fm --ebn0 none --frames 600 --drop f100:200 --seeds 1
    measure.py --paths iq --iq-format u8 --iq-rate 240000 --ebn0 6:10:0.5
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ProcessPoolExecutor

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import frames as F  # noqa: E402
import simulate as S  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_DECODER = os.path.normpath(os.path.join(HERE, "..", "..", "build", "tools", "nimbo-decode"))


def grid(text):
    """'6:12:0.5' -> 6, 6.5, ..., 12; '7,8' -> 7, 8; 'none' -> no noise."""
    if text == "none":
        return [None]
    if ":" in text:
        lo, hi, step = (float(x) for x in text.split(":"))
        n = int(round((hi - lo) / step))
        return [round(lo + i * step, 6) for i in range(n + 1)]
    return [float(x) for x in text.split(",")]


def decoder_args(path, opts, iq_tune):
    args = ["--weak"] if opts.weak else []
    if path == "if":
        args.append("--if")
    elif path == "iq":
        args += ["--iq", "--format", opts.iq_format, "--rate", str(opts.iq_rate)]
        if iq_tune:
            args += ["--offset", str(iq_tune)]
    return args + opts.decoder_arg


def score(lines, truth, partial=None):
    """Counts for one recording's JSON lines against the frames sent whole (and the blocks of
    the partly sent frame before them).

    whole: distinct sent frames printed with all three CRCs good and all 220 bytes as sent.
    good: distinct sent frames printed with all three CRCs good and the three blocks as sent
    (the sync bytes and the previous frame's parity in bytes 0..29 may differ).
    never_sent: lines with a good CRC over a block that no sent frame holds."""
    whole_index = {t: i for i, t in enumerate(truth)}
    heard = truth + ([partial] if partial else [])
    blocks_sent = {name: {t[first:last + 3] for t in heard} for name, (first, last) in F.BLOCKS.items()}
    block_index = {t[32:220]: i for i, t in enumerate(truth)}
    whole, good = set(), set()
    never_sent = 0
    for line in lines:
        j = json.loads(line)
        data = bytes.fromhex(j["bytes"])
        oks = {"sonde": j["sonde_ok"], "sensor": j["sensor_ok"], "gps": j["gps_ok"]}
        if any(oks[n] and data[f:l + 3] not in blocks_sent[n] for n, (f, l) in F.BLOCKS.items()):
            never_sent += 1
            continue
        if all(oks.values()):
            if data in whole_index:
                whole.add(whole_index[data])
            if data[32:220] in block_index:
                good.add(block_index[data[32:220]])
    return {"whole": len(whole), "good": len(good), "never_sent": never_sent,
            "lock": min(good) if good else None, "lines": len(lines)}


def run_one(job):
    """Simulates one recording, decodes it, scores it."""
    path, ebn0, offset, seed, opts = job
    work = tempfile.mkdtemp(prefix="nimbo-measure-", dir=opts.tmp)
    try:
        name = os.path.join(work, "rec.raw" if path == "iq" else "rec.wav")
        truth, partial = S.simulate(path, name, frames=opts.frames, ebn0_db=ebn0, seed=seed,
                           offset_hz=offset + (opts.iq_tune if path == "iq" else 0.0),
                           symbol_rate=opts.symbol_rate,
                           rate=opts.iq_rate if path == "iq" else None, fmt=opts.iq_format,
                           drops=opts.drop, inserts=opts.insert, bursts=opts.bursts,
                           if_filter_hz=opts.if_filter)
        cmd = [opts.decoder] + decoder_args(path, opts, opts.iq_tune) + [name]
        run = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if run.returncode != 0:
            raise RuntimeError("%s: exit %d: %s" % (" ".join(cmd), run.returncode, run.stderr.strip()))
        result = score(run.stdout.splitlines(), truth, partial)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    result.update(path=path, ebn0=ebn0, offset=offset, seed=seed, frames=opts.frames)
    return result


def point90(rows):
    """Lowest Eb/N0 with >= 90 % whole, interpolated linearly from the step below; rows are
    (ebn0, fraction) in ascending Eb/N0."""
    for i, (e, f) in enumerate(rows):
        if f >= 0.9:
            if i == 0:
                return "<= %.2f" % e
            e0, f0 = rows[i - 1]
            return "%.2f" % (e0 + (0.9 - f0) / (f - f0) * (e - e0))
    return "> %.2f" % rows[-1][0] if rows else "-"


def fmt_db(e):
    return "clean" if e is None else "%.1f" % e


def report(results, opts):
    keys = sorted({(r["path"], r["offset"], r["ebn0"]) for r in results},
                  key=lambda k: (k[0], k[1], -1e9 if k[2] is None else k[2]))
    print("| path | offset Hz | Eb/N0 dB | recordings | whole % | CRCs good % | never sent "
          "| lock: first good frame (median / max) | recordings locked after frame 2 |")
    print("|---|---|---|---|---|---|---|---|---|")
    curves = {}
    for key in keys:
        rs = [r for r in results if (r["path"], r["offset"], r["ebn0"]) == key]
        total = sum(r["frames"] for r in rs)
        whole = sum(r["whole"] for r in rs) / total
        good = sum(r["good"] for r in rs) / total
        locks = sorted(r["frames"] if r["lock"] is None else r["lock"] for r in rs)
        never_locked = sum(r["lock"] is None for r in rs)
        late = sum(r["lock"] is None or r["lock"] > 2 for r in rs)
        if key[2] is not None:
            curves.setdefault(key[:2], []).append((key[2], whole, good))
        lock_text = "%g / %s" % (locks[len(locks) // 2], "never" if never_locked else locks[-1])
        print("| %s | %+g | %s | %d | %.1f | %.1f | %d | %s | %d%s |" % (
            key[0], key[1], fmt_db(key[2]), len(rs), 100.0 * whole, 100.0 * good,
            sum(r["never_sent"] for r in rs), lock_text, late,
            " (%d never)" % never_locked if never_locked else ""))
    if any(len(c) > 1 for c in curves.values()):
        print()
        print("| path | offset Hz | 90 % point, whole (dB) | 90 % point, CRCs good (dB) |")
        print("|---|---|---|---|")
        for (path, offset), rows in sorted(curves.items()):
            rows.sort()
            print("| %s | %+g | %s | %s |" % (path, offset, point90([(e, w) for e, w, _ in rows]),
                                             point90([(e, g) for e, _, g in rows])))
        print("(%s)" % ("nimbo-decode --weak" if opts.weak else "nimbo-decode, described chain"))


def parser():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--decoder", default=DEFAULT_DECODER, help="nimbo-decode to measure (%(default)s)")
    p.add_argument("--paths", default="fm,if", help="fm, if, iq: comma-separated (fm,if)")
    p.add_argument("--weak", action=argparse.BooleanOptionalAction, default=True,
                   help="decode with --weak (default) or with the described chain (--no-weak)")
    p.add_argument("--ebn0", type=grid, default=grid("6:12:0.5"),
                   help="LO:HI:STEP, a list A,B,C, or 'none' for clean recordings (6:12:0.5)")
    p.add_argument("--offsets", type=grid, default=[0.0], help="carrier offsets in Hz, a list or LO:HI:STEP (0)")
    p.add_argument("--seeds", type=int, default=10, help="recordings per setting (10)")
    p.add_argument("--first-seed", type=int, default=1)
    p.add_argument("--frames", type=int, default=40, help="frames per recording (40)")
    p.add_argument("--symbol-rate", type=float, default=4800.0)
    p.add_argument("--iq-format", default="u8", choices=["u8", "s16", "f32"])
    p.add_argument("--iq-rate", type=int, default=240000)
    p.add_argument("--iq-tune", type=float, default=0.0,
                   help="I/Q: where the decoder is told the sonde sits (its --offset); the carrier "
                        "is put at this plus each of --offsets")
    p.add_argument("--if-filter", type=float, default=S.M.IF_FILTER_HZ,
                   help="fm: -3 dB edge of the simulated receiver's IF filter (%(default)g Hz)")
    p.add_argument("--drop", action="append", default=[], type=S._event, metavar="WHEN:N")
    p.add_argument("--insert", action="append", default=[], type=S._event, metavar="WHEN:N")
    p.add_argument("--bursts", metavar="PERIOD:DURATION:DB")
    p.add_argument("--decoder-arg", action="append", default=[], help="extra nimbo-decode argument")
    p.add_argument("--jobs", type=int, default=1, choices=[1, 2], help="recordings at once (1)")
    p.add_argument("--tmp", default=None, help="folder for the recordings while they are decoded")
    p.add_argument("--json", help="also write every recording's result here, one JSON line each")
    p.add_argument("--report", help="print the tables of a --json file again, measuring nothing")
    return p


def main(argv=None):
    opts = parser().parse_args(argv)
    opts.bursts = tuple(float(x) for x in opts.bursts.split(":")) if opts.bursts else None

    if opts.report:
        with open(opts.report) as f:
            results = [json.loads(line) for line in f]
        report(results, opts)
        return 0
    paths = opts.paths.split(",")
    if "iq" in paths:
        helptext = subprocess.run([opts.decoder, "--help"], stdout=subprocess.PIPE, text=True).stdout
        if "--iq" not in helptext:
            print("note: %s has no --iq option; the iq path is left out" % opts.decoder, file=sys.stderr)
            paths.remove("iq")
    jobs = [(path, e, o, opts.first_seed + s, opts)
            for path in paths for o in opts.offsets for e in opts.ebn0 for s in range(opts.seeds)]
    if opts.jobs == 1:
        results = [run_one(j) for j in jobs]
    else:
        with ProcessPoolExecutor(opts.jobs) as pool:
            results = list(pool.map(run_one, jobs))
    if opts.json:
        with open(opts.json, "w") as f:
            for r in results:
                f.write(json.dumps(r) + "\n")
    report(results, opts)
    return 1 if any(r["never_sent"] for r in results) else 0


if __name__ == "__main__":
    sys.exit(main())
