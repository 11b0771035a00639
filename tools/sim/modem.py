# SPDX-License-Identifier: GPL-3.0-or-later
"""GFSK modulation of an RS92 byte stream, an RF noise channel, and the three recordings a
receiver can hand over: FM discriminator audio, a 12 kHz IF, and raw I/Q.

Line coding: every byte is 10 bits (start 0, 8 data bits least significant first, stop 1);
each bit is two symbols, a 1 sent as symbols 0 then 1, a 0 as 1 then 0; symbol 1 is the
upper frequency (+2400 Hz), symbol 0 the lower (-2400 Hz). The frequency pulses are shaped by
a Gaussian filter with BT = 0.5 (T the symbol time) and the phase runs on continuously.

Everything is computed in blocks, so hours at I/Q rates fit in a few megabytes.
"""

import math
import wave

import numpy as np

DEVIATION_HZ = 2400.0
SYMBOL_RATE = 4800.0
BIT_RATE = 2400.0  # data bits per second: Eb/N0 is per data bit
AUDIO_RATE = 48000
IF_HZ = 12000.0
FM_SCALE = 8000.0 / DEVIATION_HZ  # audio units per hertz: +-2400 Hz -> +-8000
BLOCK = 1 << 17

# ---------------------------------------------------------------- line coding

def byte_bits(data):
    """Bits on the air for a byte string: start 0, data LSB first, stop 1."""
    b = np.frombuffer(bytes(data), dtype=np.uint8)
    bits = np.zeros((len(b), 10), dtype=np.int8)
    bits[:, 1:9] = (b[:, None] >> np.arange(8)) & 1
    bits[:, 9] = 1
    return bits.reshape(-1)


def manchester(bits):
    """Symbols (0/1) of a bit sequence: bit 1 -> 0 1, bit 0 -> 1 0."""
    sym = np.empty(2 * len(bits), dtype=np.int8)
    sym[0::2] = 1 - bits
    sym[1::2] = bits
    return sym


# ---------------------------------------------------------------- GFSK phase

class GaussianPhase:
    """The phase contributed by one symbol of unit weight, as a function of time in symbols
    measured from the symbol's centre: the integral of a rectangle one symbol wide, filtered
    by a Gaussian of BT = bt. It rises from 0 to 1 within about +-1.6 symbols (BT 0.5).

    table[d + 2, j] is the contribution of symbol k0 + d at the time k0 + j / per_symbol
    (times counted in symbols from the start of symbol 0)."""

    def __init__(self, bt=0.5, per_symbol=65536):
        sigma = math.sqrt(math.log(2.0)) / (2.0 * math.pi * bt)  # in symbols
        assert 0.5 + 5.0 * sigma < 2.5, "pulses reach past two symbols"
        self.per_symbol = per_symbol
        u = np.linspace(-3.0, 3.0, 6 * 8192 + 1)
        k = 1.0 / (math.sqrt(2.0) * sigma)
        erf = np.vectorize(math.erf)
        pulse = 0.5 * (erf((u + 0.5) * k) - erf((u - 0.5) * k))
        q = np.concatenate([[0.0], np.cumsum(0.5 * (pulse[1:] + pulse[:-1]) * (u[1] - u[0]))])
        q /= q[-1]
        frac = np.arange(per_symbol) / per_symbol
        self.table = np.stack([np.interp(frac - d - 0.5, u, q) for d in range(-2, 3)])


class Transmitter:
    """A symbol stream sent from time t0 (seconds): symbol k occupies [t0 + kT, t0 + (k+1)T).
    The carrier is on only while the stream lasts, and from `t_on` on."""

    def __init__(self, symbols, t0, symbol_rate=SYMBOL_RATE, offset_hz=0.0, phase0=0.0,
                 t_on=None, bt=0.5):
        a = 2.0 * np.asarray(symbols, dtype=np.float64) - 1.0  # +-1
        self.n = len(a)
        self.a = np.concatenate([np.zeros(3), a, np.zeros(3)])  # symbol k at k + 3
        self.prefix = np.concatenate([[0.0], np.cumsum(a)])  # sum of symbols before k
        self.t0 = t0
        self.T = 1.0 / symbol_rate
        self.offset = offset_hz
        self.phase0 = phase0
        self.t_on = t0 if t_on is None else max(t0, t_on)
        self.t_off = t0 + self.n * self.T
        self.shape = GaussianPhase(bt)

    def baseband(self, t):
        """Complex envelope (power 1 while on, 0 while off) at the times t (seconds)."""
        u = (t - self.t0) / self.T
        k0 = np.clip(np.floor(u), -1, self.n).astype(np.int64)  # outside: carrier off
        j = np.clip(((u - k0) * self.shape.per_symbol).astype(np.int64), 0, self.shape.per_symbol - 1)
        # Symbols up to k0 - 3 have run their full course: their sum comes from the prefix.
        phase = self.prefix[np.clip(k0 - 2, 0, self.n)]
        for d in range(-2, 3):
            phase += self.a[k0 + d + 3] * self.shape.table[d + 2, j]
        phase *= 2.0 * math.pi * DEVIATION_HZ * self.T
        # Carrier offset, its cycles counted modulo 1 first to keep precision.
        phase += 2.0 * math.pi * np.mod(self.offset * t, 1.0) + self.phase0
        z = np.exp(1j * phase)
        z[(t < self.t_on) | (t >= self.t_off)] = 0.0
        return z


# ---------------------------------------------------------------- filters

class StreamFir:
    """A FIR filter applied block by block: overlap-save with short FFTs, history carried
    across blocks."""

    def __init__(self, taps, fft_size=4096):
        self.h = np.asarray(taps)
        self.m = len(self.h)
        self.size = fft_size
        self.step = fft_size - (self.m - 1)
        self.spectrum = np.fft.fft(self.h, fft_size)
        self.hist = np.zeros(self.m - 1, dtype=np.complex128)

    def __call__(self, x):
        n = len(x)
        segments = -(-n // self.step)
        buf = np.zeros(segments * self.step + self.m - 1, dtype=np.complex128)
        buf[:self.m - 1] = self.hist
        buf[self.m - 1:self.m - 1 + n] = x
        self.hist = buf[n:n + self.m - 1].copy()
        idx = np.arange(segments)[:, None] * self.step + np.arange(self.size)[None, :]
        y = np.fft.ifft(np.fft.fft(buf[idx], axis=1) * self.spectrum, axis=1)[:, self.m - 1:]
        return y.reshape(-1)[:n]


def butterworth_taps(cutoff_hz, rate, order=4, length=96):
    """Impulse response, sampled (impulse invariance), of an analogue Butterworth low-pass
    with its -3 dB point at cutoff_hz; DC gain 1."""
    wc = 2.0 * math.pi * cutoff_hz
    poles = [wc * np.exp(1j * math.pi * (2 * k + order + 1) / (2 * order)) for k in range(order)]
    gain = np.prod([-p for p in poles])
    t = np.arange(length) / rate
    h = np.zeros(length, dtype=np.complex128)
    for k, p in enumerate(poles):
        residue = gain / np.prod([p - q for j, q in enumerate(poles) if j != k])
        h += residue * np.exp(p * t)
    h = h.real
    return h / h.sum()


def lowpass_taps(cutoff_hz, rate, length=129):
    """Linear-phase windowed-sinc low-pass (Blackman window), DC gain 1."""
    n = np.arange(length) - (length - 1) / 2.0
    h = np.sinc(2.0 * cutoff_hz / rate * n) * np.blackman(length)
    return h / h.sum()


# ---------------------------------------------------------------- the recording

def noise_variance(rate, ebn0_db):
    """Complex noise variance (both parts) for signal power 1 at sample rate `rate`."""
    return rate / (BIT_RATE * 10.0 ** (ebn0_db / 10.0))


class Timeline:
    """Which moment of the transmission each recorded sample shows. Dropped samples are
    skipped; inserted samples hold noise only (marked with time NaN)."""

    def __init__(self, total_source, events):
        # events: (source sample, 'drop' | 'insert', count), in any order
        self.segments = []  # (output start, source start or None, length)
        out = 0
        cur = 0
        for at, kind, count in sorted(events):
            at = max(at, cur)
            if at > cur:
                self.segments.append((out, cur, at - cur))
                out += at - cur
            if kind == "drop":
                cur = at + count
            else:
                self.segments.append((out, None, count))
                out += count
                cur = at
        if total_source > cur:
            self.segments.append((out, cur, total_source - cur))
            out += total_source - cur
        self.length = out
        self.starts = np.array([s[0] for s in self.segments], dtype=np.int64)

    def source(self, n):
        """Source sample index of output samples n (float array, NaN for inserted noise)."""
        seg = np.searchsorted(self.starts, n, side="right") - 1
        src = np.array([np.nan if s[1] is None else s[1] for s in self.segments])[seg]
        first = self.starts[seg]
        return src + (n - first)


class Recording:
    """The channel: the transmitter's envelope at `rate` samples per second, plus complex
    white noise (ebn0_db per data bit, None for none), plus optional noise bursts."""

    def __init__(self, tx, rate, seconds, ebn0_db, rng, events=(), bursts=None):
        self.tx = tx
        self.rate = rate
        self.timeline = Timeline(int(round(seconds * rate)), events)
        self.length = self.timeline.length
        self.sigma2 = 0.0 if ebn0_db is None else noise_variance(rate, ebn0_db)
        self.rng = rng
        self.bursts = bursts  # (period s, duration s, power dB relative to the signal)

    def blocks(self):
        for start in range(0, self.length, BLOCK):
            n = np.arange(start, min(start + BLOCK, self.length))
            src = self.timeline.source(n)
            inserted = np.isnan(src)
            z = self.tx.baseband(np.where(inserted, -1.0, src) / self.rate)
            z[inserted] = 0.0
            if self.sigma2 > 0.0:
                z = z + self._noise(len(n), self.sigma2)
            if self.bursts:
                period, duration, db = self.bursts
                t = n / self.rate
                hit = np.mod(t, period) < duration
                if hit.any():
                    z[hit] += self._noise(int(hit.sum()), 10.0 ** (db / 10.0))
            yield z

    def _noise(self, count, variance):
        scale = math.sqrt(variance / 2.0)
        return scale * (self.rng.standard_normal(count) + 1j * self.rng.standard_normal(count))


# ---------------------------------------------------------------- receiver models and files

def _write_stereo_wav(path, left_blocks, rate=AUDIO_RATE):
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        for left in left_blocks:
            frames = np.zeros((len(left), 2), dtype="<i2")
            frames[:, 0] = left
            w.writeframes(frames.tobytes())


def _to_int16(x):
    return np.clip(np.round(x), -32768, 32767).astype(np.int16)


IF_FILTER_HZ = 7000.0  # -3 dB edge of the receiver's IF filter (4th-order Butterworth), +-


def write_fm(path, rec, invert=False, if_filter_hz=IF_FILTER_HZ):
    """A receiver's discriminator: IF filter, then the phase step per sample as frequency,
    +-2400 Hz -> +-8000, clipped to 16 bits; left channel, right channel silent."""
    fir = StreamFir(butterworth_taps(if_filter_hz, rec.rate))
    state = {"last": np.complex128(1.0)}
    sign = -1.0 if invert else 1.0

    def audio():
        for z in rec.blocks():
            y = fir(z)
            prev = np.concatenate([[state["last"]], y[:-1]])
            state["last"] = y[-1]
            hz = np.angle(y * np.conj(prev)) * rec.rate / (2.0 * math.pi)
            yield _to_int16(sign * hz * FM_SCALE)

    _write_stereo_wav(path, audio(), rec.rate)


IF_BAND_HZ = 10000.0  # the baseband is limited to +-10 kHz before it is moved to 12 kHz
IF_RMS = 5000.0  # level of signal plus noise in the IF file


def write_if(path, rec):
    """The baseband, limited to +-10 kHz, on a 12 kHz carrier as real 16-bit samples."""
    fir = StreamFir(lowpass_taps(IF_BAND_HZ, rec.rate))
    in_band = 1.0 + rec.sigma2 * min(1.0, 2.0 * IF_BAND_HZ / rec.rate)
    gain = IF_RMS / math.sqrt(in_band / 2.0)
    state = {"n": 0}

    def audio():
        for z in rec.blocks():
            y = fir(z)
            n = state["n"] + np.arange(len(y))
            state["n"] += len(y)
            carrier = np.exp(2j * math.pi * np.mod(IF_HZ * n / rec.rate, 1.0))
            yield _to_int16(gain * (y * carrier).real)

    _write_stereo_wav(path, audio(), rec.rate)


IQ_RMS = 0.25  # u8 and s16: RMS of each of I and Q as a share of full scale


def write_iq(path, rec, fmt):
    """Raw interleaved I, Q. u8: offset binary around 127.5, s16 and f32 little-endian.
    u8 and s16 are scaled so that I and Q each have an RMS of 1/4 of full scale; f32 keeps the
    channel's own scale (signal power 1)."""
    gain = IQ_RMS / math.sqrt((1.0 + rec.sigma2) / 2.0)
    with open(path, "wb") as f:
        for z in rec.blocks():
            iq = np.empty(2 * len(z))
            iq[0::2] = z.real
            iq[1::2] = z.imag
            if fmt == "u8":
                f.write(np.clip(np.round(127.5 + 127.5 * gain * iq), 0, 255).astype(np.uint8).tobytes())
            elif fmt == "s16":
                f.write(np.clip(np.round(32767.0 * gain * iq), -32768, 32767).astype("<i2").tobytes())
            elif fmt == "f32":
                f.write(iq.astype("<f4").tobytes())
            else:
                raise ValueError("format must be u8, s16 or f32")
