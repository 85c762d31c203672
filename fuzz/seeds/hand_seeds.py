#!/usr/bin/env python3
"""Writes the hand-made seeds (files named hand-*) into the seed folders next to this script.

Deterministic: running it again gives the same files. The fuzzers start from these; the long
frame streams are kept as they are because a short fuzzing run would not grow inputs this long.
"""
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))

# The worked example of the settings payload (a simulated unit, serial 1002, eight channels).
SIM_1002_PAYLOAD = bytes.fromhex(
    "44332211b7e7508c53494d2d31303032"
    "0000000000000000ea03000005000000"
    "00010101030100010000000000000800"
    "0028000100ee02008f4f030000000000"
    "d7f8020001000001ae03030002000000"
    "850e0300030000005c19030004000000"
    "33240300050000000a2f030006000000"
    "e139030007000000b844030008000000"
)
SETTINGS_REQUEST = bytes([0xAA, 0x2E, 0x04, 0x00, 0x00, 0x80, 0x44, 0x33, 0x22, 0x11])


def frame(cmd, payload, src=0, dst=0):
    body = bytes([len(payload), src, dst, cmd]) + bytes(payload)
    return bytes([0xAA, sum(body) & 0xFF]) + body


def frame_input(sizes, stream):
    """The frame target's input: 1 + (byte0 % 8) chunk sizes, then the stream."""
    assert 1 <= len(sizes) <= 8
    return bytes([len(sizes) - 1]) + bytes(sizes) + bytes(stream)


def mixed_stream(rng, pieces):
    """Valid frames, garbage, corrupted and truncated frames, source-rule frames, false starts
    with long claimed lengths, and runs of 0xAA."""
    out = bytearray()
    for _ in range(pieces):
        n = rng.randrange(256) if rng.randrange(8) == 0 else rng.randrange(24)
        payload = bytes(0xAA if rng.randrange(4) == 0 else rng.randrange(256) for _ in range(n))
        cmd = rng.randrange(256) if rng.randrange(3) == 0 else rng.choice([0x80, 0x20])
        src = rng.randrange(18) if rng.randrange(3) == 0 else 0
        dst = rng.randrange(256) if rng.randrange(2) else 0
        kind = rng.randrange(8)
        f = bytearray(frame(cmd, payload, src, dst))
        if kind <= 2:
            out += f
        elif kind == 3:
            out += bytes(0xAA if rng.randrange(3) == 0 else rng.randrange(256)
                         for _ in range(rng.randrange(12)))
        elif kind == 4:  # one byte changed, maybe the checksum
            f[1 + rng.randrange(len(f) - 1)] ^= 1 + rng.randrange(255)
            out += f
        elif kind == 5:  # cut short, followed by whatever comes next
            out += f[:rng.randrange(len(f))]
        elif kind == 6:  # false start claiming a long payload
            out += bytes([0xAA, rng.randrange(256), 200 + rng.randrange(56)])
        else:
            out += bytes([0xAA] * rng.randrange(10))
    return bytes(out)


def frame_seeds():
    rng = random.Random(20261207)
    seeds = {
        "hand-settings-request": frame_input([3], SETTINGS_REQUEST),
        "hand-settings-frame": frame_input([7, 64], frame(0x80, SIM_1002_PAYLOAD)),
        "hand-start-bytes": frame_input([7], [0xAA] * 5000),
        "hand-mixed-whole": frame_input([255], mixed_stream(rng, 300)),
        # 0 pushes nothing, 255 drops the first byte
        "hand-mixed-chunks": frame_input([1, 0, 17, 255, 3, 64, 2], mixed_stream(rng, 300)),
        "hand-mixed-bytewise": frame_input([1], mixed_stream(rng, 60)),
    }
    # Dense with false starts, which takes the decoder's running sums far past their first reach,
    # with valid frames sprinkled in.
    dense = bytearray(0xAA if rng.randrange(3) == 0 else rng.randrange(256) for _ in range(1 << 16))
    for _ in range(50):
        f = frame(0x20, [0x11] * rng.randrange(200))
        at = rng.randrange(len(dense) - len(f))
        dense[at:at + len(f)] = f
    seeds["hand-dense-false-starts"] = frame_input([1, 64, 200, 255], dense)
    # Many good frames back to back, every third one with a bad checksum.
    many = bytearray()
    for i in range(1200):
        f = bytearray(frame(rng.choice([0x20, 0x80, 0x6E, 0x90]), [i & 0xFF] * (i % 9), 0,
                            rng.randrange(256)))
        if i % 3 == 0:
            f[1] ^= 0x01
        many += f
    seeds["hand-many-frames"] = frame_input([5, 13, 200], many)
    return seeds


def settings_seeds():
    damaged = bytearray(SIM_1002_PAYLOAD)
    damaged[10] = 0xC3  # a lone lead byte in the name
    return {"hand-sim-1002": SIM_1002_PAYLOAD, "hand-name-not-utf8": bytes(damaged)}


def ui_settings_seeds():
    # Two payloads of the full 144 bytes each: asked for, then the unit's.
    full = SIM_1002_PAYLOAD + bytes(16)
    other = bytearray(full)
    other[8:12] = b"UNIT"
    other[28:40] = bytes(range(200, 212))  # codes no enumeration knows
    return {"hand-empty": b"", "hand-sim-1002": full + bytes(other)}


def coordination_seeds():
    rng = random.Random(5)
    return {"hand-random-%d" % i: bytes(rng.randrange(256) for _ in range(80)) for i in range(4)}


def bridge_seeds():
    # Every function id, called both ways, with a few argument bytes.
    return {"hand-id%02d-%s" % (i, "sync" if s else "async"): bytes([i, s, 0, 1, 2, 3])
            for i in range(16) for s in (0, 1)}


def main():
    for target, seeds in [("frame_fuzz", frame_seeds()), ("settings_fuzz", settings_seeds()),
                          ("ui_settings_fuzz", ui_settings_seeds()),
                          ("coordination_fuzz", coordination_seeds()),
                          ("bridge_fuzz", bridge_seeds())]:
        folder = os.path.join(HERE, target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
