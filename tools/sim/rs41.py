# SPDX-License-Identifier: GPL-3.0-or-later
"""RS41 frames and their stream for the simulator, from the published facts alone: the frame
of a real RS41 as a template, its frame number, calibration subframe and GPS time moved on
frame by frame, block CRCs and the two interleaved Reed-Solomon codewords made anew, every
byte scrambled with the 64-byte mask. NRZ line coding: 8 bits a byte, least significant
first, 4800 bit/s, one frame starting every second, alternating bits in between."""

import numpy as np

import frames as F

MASK = bytes.fromhex(
    "96833E51B1490898320559 0EF944C626 2160C2EA795D6DA1 5469470CDCE85CF1"
    "F776827F0799A22C 937C3063F5102E61 D0BCB4B606AAF423 786E3BAEBF7B4CC1".replace(" ", ""))
assert len(MASK) == 64
HEADER = bytes.fromhex("8635F44093DF1A60")
FRAME_BYTES = 320
BIT_RATE = 4800.0

# A frame received from a real RS41 (published, descrambled).
REAL = bytes.fromhex(
    "8635f44093df1a602c87e0fa0521e8943d9cef4c7a67393f6d39fb546461f2111b6447ab79a746c80350cda5344157f8c0"
    "c12234f46902220f792816174b313933303239331a00000300000a00002f0007322ce53e31991abf12dada3eb68468c167"
    "55d51c7a2a15310216060245f302000d08a31607821e08bb210219060243f302000000000000000000000000000000220d"
    "7c1e0807d03cdc071fd81ddb19d70a8d0eb602b60cb518d40692ff00ff00ff001c277d59b8d83301ff0f881f0f38f4fe18"
    "b283038735ff000000003eb8ff4947201e6e3aff55415f13fc6e005440440cf100009e9f7406f85800832b631719d70010"
    "bebc172a8b00000000000000000000000000000000000000000000a48b7b15366181193ef05d07e1245b1be0f721f801f6"
    "0804107b0b76110000000000000000000000000000000000ecc7")
assert len(REAL) == FRAME_BYTES


def scramble(frame):
    return bytes(b ^ MASK[i % 64] for i, b in enumerate(frame))


def parity(message):
    """x^24 m(x) mod g(x) for a message of any length up to 231 (byte j: coefficient of x^j)."""
    rem = [0] * F.PARITY_BYTES
    for j in range(len(message) - 1, -1, -1):
        feedback = message[j] ^ rem[F.PARITY_BYTES - 1]
        rem = [0] + rem[:-1]
        if feedback:
            for k in range(F.PARITY_BYTES):
                rem[k] ^= F.gf_mul(feedback, F.GENERATOR[k])
    return bytes(rem)


def codeword(frame, k):
    """Codeword k: parity at frame bytes 8 + 24k.., data at 56 + k, 58 + k, ..."""
    return bytes(frame[8 + 24 * k: 32 + 24 * k]) + bytes(frame[56 + k::2])


def with_parity(frame):
    frame = bytearray(frame)
    for k in range(2):
        frame[8 + 24 * k: 32 + 24 * k] = parity(bytes(frame[56 + k::2]))
    return bytes(frame)


def blocks(frame):
    """(id, first data byte, length) of each block from byte 57."""
    at, out = 57, []
    while at + 2 <= len(frame):
        ident, length = frame[at], frame[at + 1]
        if at + 2 + length + 2 > len(frame):
            break
        out.append((ident, at + 2, length))
        at += 2 + length + 2
    return out


def set_crc(frame, first, length):
    crc = F.crc16(frame[first:first + length])
    frame[first + length] = crc & 0xFF
    frame[first + length + 1] = crc >> 8


def frame_number(i, first):
    """Frame i of the stream: the real frame with its number, subframe and time moved on."""
    f = bytearray(REAL)
    for ident, d, length in blocks(REAL):
        if ident == 0x79:
            f[d:d + 2] = ((first + i) & 0xFFFF).to_bytes(2, "little")
            sub = (44 + i) % 51
            f[d + 23] = sub
            if sub == 0:  # the transmit frequency: 405.3 MHz = 400 MHz + 132.5 x 40 kHz
                f[d + 24 + 2], f[d + 24 + 3] = 128, 132
            set_crc(f, d, length)
        elif ident == 0x7C:
            tow = int.from_bytes(f[d + 2:d + 6], "little") + 1000 * i
            f[d + 2:d + 6] = tow.to_bytes(4, "little")
            set_crc(f, d, length)
    return with_parity(f)


def stream(frames, first):
    """Bits on the air of `frames` frames, one starting every second, and the frames sent."""
    sent = [frame_number(i, first) for i in range(frames)]
    bits = []
    for f in sent:
        air = np.frombuffer(scramble(f), dtype=np.uint8)
        b = ((air[:, None] >> np.arange(8)) & 1).reshape(-1)
        gap = int(BIT_RATE) - len(b)
        bits.append(b)
        bits.append(np.arange(gap) & 1)  # alternating bits until the next frame
    return np.concatenate(bits).astype(np.int8), sent
