# SPDX-License-Identifier: GPL-3.0-or-later
"""RS92 telemetry frames built from scratch: block CRCs, Reed-Solomon parity, and the
relation between the 240 bytes on the air and the 220-byte frames the decoder collects.

On the air a frame is 240 bytes: 6 sync bytes, 210 data bytes and 24 parity bytes. The last
20 data bytes never change; the decoder synchronises on them, so a collected frame is
    collected[0:24]   = the parity of the previous sent frame
    collected[24:220] = bytes 0..195 of the sent frame (sync, then the three blocks).
"""

import struct

import numpy as np

SYNC = bytes([0x2A, 0x2A, 0x2A, 0x2A, 0x2A, 0x10])
# Sent bytes 196..215: the constant tail the decoder's frame search looks for.
TAIL = bytes([0x68, 0x05, 0x03, 0x03] + [0x00] * 8 + [0xB2, 0x7D, 0xFF, 0x02, 0x02, 0x00, 0x02, 0x00])
SENT_BYTES = 240
CONTENT_BYTES = 220
PARITY_BYTES = 24
DATA_BYTES = 210  # sent bytes 6..215, the Reed-Solomon message
HEAD_BYTES = 196  # sent bytes 0..195 that reach the collected frame

# The three CRC-protected blocks of a collected frame: (first, last) data byte; the CRC
# follows, low byte first.
BLOCKS = {"sonde": (32, 63), "sensor": (68, 91), "gps": (96, 217)}
# Identifier and length bytes in front of each block (length in 16-bit words). The decoder
# does not read them; any constant will do.
BLOCK_IDS = {"sonde": 0x65, "sensor": 0x69, "gps": 0x67}


# ---------------------------------------------------------------- CRC-16 (poly 0x1021)

def crc16(data):
    """CRC-16: generator x^16 + x^12 + x^5 + 1, preset 0xFFFF, MSB first, no final XOR."""
    reg = 0xFFFF
    for byte in data:
        reg ^= byte << 8
        for _ in range(8):
            reg = ((reg << 1) ^ 0x1021) if reg & 0x8000 else (reg << 1)
            reg &= 0xFFFF
    return reg


# ------------------------------------------------------------- GF(2^8), Reed-Solomon

GF_POLY = 0x11D  # x^8 + x^4 + x^3 + x^2 + 1
GF_EXP = [0] * 512
GF_LOG = [0] * 256
_x = 1
for _i in range(255):
    GF_EXP[_i] = _x
    GF_LOG[_x] = _i
    _x <<= 1
    if _x & 0x100:
        _x ^= GF_POLY
for _i in range(255, 512):
    GF_EXP[_i] = GF_EXP[_i - 255]


def gf_mul(a, b):
    if a == 0 or b == 0:
        return 0
    return GF_EXP[GF_LOG[a] + GF_LOG[b]]


def poly_mul(p, q):
    """Product of two polynomials, coefficients lowest power first."""
    out = [0] * (len(p) + len(q) - 1)
    for i, a in enumerate(p):
        for j, b in enumerate(q):
            out[i + j] ^= gf_mul(a, b)
    return out


def _generator():
    g = [1]
    for i in range(PARITY_BYTES):
        g = poly_mul(g, [GF_EXP[i], 1])  # (x + alpha^i); minus is plus here
    return g


GENERATOR = _generator()  # 25 coefficients, lowest power first, monic


def rs_parity(message):
    """The 24 parity bytes r(x) = x^24 m(x) mod g(x) of a 210-byte message, where message
    byte j is the coefficient of x^j in m(x). Then x^24 m(x) + r(x) is a multiple of g(x)."""
    assert len(message) == DATA_BYTES
    # Long division from the highest power down; rem holds the running remainder.
    rem = [0] * PARITY_BYTES
    for j in range(DATA_BYTES - 1, -1, -1):
        feedback = message[j] ^ rem[PARITY_BYTES - 1]
        rem = [0] + rem[:-1]
        if feedback:
            for k in range(PARITY_BYTES):
                rem[k] ^= gf_mul(feedback, GENERATOR[k])
    return bytes(rem)


def syndromes(codeword):
    """c(alpha^i) for i = 0..23, codeword byte k the coefficient of x^k."""
    out = []
    for i in range(PARITY_BYTES):
        s = 0
        for k in range(len(codeword) - 1, -1, -1):  # Horner
            s = gf_mul(s, GF_EXP[i]) ^ codeword[k]
        out.append(s)
    return out


def codeword_of(sent):
    """Codeword c0..c233 of a sent frame: the parity first, then sent bytes 6..215."""
    return bytes(sent[216:240]) + bytes(sent[6:216])


# ------------------------------------------------------------------- frame content

class Sonde:
    """A sonde that counts its frames and sends its calibration table piece by piece."""

    def __init__(self, serial="P3140972", first_frame=1000, freq_mhz=405.30, seed=1):
        assert len(serial) == 8
        self.serial = serial.encode("ascii")
        self.first_frame = first_frame
        self.rng = np.random.default_rng(seed)
        self.freq_code = int(round((freq_mhz - 400.0) * 100))
        self.cal_table = self._cal_table()
        # Slowly drifting sensor counts: (start, drift per frame)
        self.channels = [
            (0x3E8A21, -35), (0x52C0F3, 12), (0x51F0E2, -9), (0x6A2B11, 1), (0x6A2F40, -1),
            (0x44C9A0, -60), (0x1A7C35, 0), (0x1A7E02, 1)]

    def _cal_table(self):
        t = bytearray(self.rng.integers(0, 256, 512, dtype=np.uint8).tobytes())
        t[0:2] = b"\x00\x00"
        t[2:4] = struct.pack("<H", self.freq_code)
        for n in range(66):  # index byte, then a float coefficient
            value = float(self.rng.normal(0.0, 1.0)) * 10.0 ** int(self.rng.integers(-6, 3))
            t[64 + 5 * n] = n
            t[65 + 5 * n:69 + 5 * n] = struct.pack("<f", value)
        return bytes(t)

    def blocks(self, index):
        """The 190 bytes that follow the sync bytes in sent frame `index` (0, 1, ...)."""
        number = (self.first_frame + index) & 0xFFFF
        piece = number % 32
        sonde = bytearray(32)
        sonde[0:2] = struct.pack("<H", number)
        sonde[2:4] = b"\x00\x00"
        sonde[4:12] = self.serial
        sonde[12] = 0x1B
        sonde[13] = 0x00  # flags; bit 3 would swap the humidity sensors
        sonde[14] = 0x00
        sonde[15] = piece
        sonde[16:32] = self.cal_table[16 * piece:16 * piece + 16]

        sensor = bytearray()
        for start, drift in self.channels:
            value = start + drift * index + int(self.rng.integers(-40, 41))
            sensor += struct.pack("<I", value & 0xFFFFFF)[:3]

        gps = bytearray(122)
        gps[0:4] = struct.pack("<I", (345600000 + 1000 * index) & 0xFFFFFFFF)  # time of week
        gps[4:6] = struct.pack("<H", 2250)  # week
        for s in range(12):  # channels: satellite, level, two pseudo-range words
            o = 6 + 8 * s
            gps[o] = (s * 3 + 2) % 32 + 1
            gps[o + 1] = int(self.rng.integers(20, 50))
            gps[o + 2:o + 8] = self.rng.integers(0, 256, 6, dtype=np.uint8).tobytes()
        gps[102:122] = self.rng.integers(0, 256, 20, dtype=np.uint8).tobytes()

        out = bytearray()
        for name, block in (("sonde", sonde), ("sensor", sensor), ("gps", gps)):
            out += bytes([BLOCK_IDS[name], len(block) // 2]) + block
            out += struct.pack("<H", crc16(block))
        assert len(out) == HEAD_BYTES - len(SYNC)
        return bytes(out)

    def sent_frame(self, index):
        head = SYNC + self.blocks(index)
        message = head[6:] + TAIL
        return head + TAIL + rs_parity(message)


def collected_frames(sent):
    """The collected frames held whole by a run of sent frames: frame k takes the parity of
    sent[k] and the head of sent[k + 1]."""
    return [bytes(sent[k][216:240]) + bytes(sent[k + 1][:HEAD_BYTES]) for k in range(len(sent) - 1)]


def raw_log_line(content):
    return ",".join("%02X" % b for b in content)


def block_ok(content, name):
    first, last = BLOCKS[name]
    stored = content[last + 1] | (content[last + 2] << 8)
    return crc16(content[first:last + 1]) == stored
