#!/usr/bin/env python3
"""Turns bus traces (orvasim --trace, JSON Lines) into inputs of the board fuzzer.

Each trace's port and register accesses become the fuzzer's operations in the
same order, after board settings that match the run, so that the fuzzer starts
from real mode sets and scans out real pictures; a few display-memory writes and
a scanout follow. Usage: board_seeds.py OUTDIR CHIP:MEMORY_KB:TRACE...
"""
import json
import struct
import sys

CHIPS = ["pinto", "bramble", "bramble-l", "mistral", "bramble-r", "kestrel", "bramble-rx", "unknown"]
WIDTH_CODE = {8: 0, 16: 1, 32: 2}
OP_IN, OP_OUT, OP_MEMORY, OP_VRAM, OP_SCANOUT = 0, 1, 4, 7, 9


def seed(chip, memory_kb, events):
    out = bytearray()
    # Settings: variant, memory in 128 KB units, gbase 0, TFT base 0x0D00, straps 0x02.
    out += bytes([CHIPS.index(chip), memory_kb // 128, 0]) + struct.pack("<H", 0x0D00) + bytes([0x02])
    for e in events:
        op, width = e["op"], e.get("width")
        if width not in WIDTH_CODE:
            continue
        code = WIDTH_CODE[width] << 4
        if op == "in":
            out += bytes([OP_IN | code]) + struct.pack("<H", e["port"])
        elif op == "out":
            out += bytes([OP_OUT | code]) + struct.pack("<HI", e["port"], e["value"])
        elif op in ("read", "write"):
            address = e["addr"]
            out += bytes([OP_MEMORY | code | (0x80 if op == "write" else 0)])
            out += struct.pack("<IB", address & 0xFFFFFFFF, address >> 32)
            if op == "write":
                out += struct.pack("<I", e["value"])
    for at in (0, 0x1000, 0x2000):  # something to show
        out += bytes([OP_VRAM]) + struct.pack("<I", at)[:3] + bytes([64]) + bytes(range(64, 128))
    out += bytes([OP_SCANOUT])
    return bytes(out)


def main():
    outdir = sys.argv[1]
    for run in sys.argv[2:]:
        chip, memory_kb, path = run.split(":", 2)
        with open(path) as f:
            events = [json.loads(line) for line in f if line.strip()]
        name = f"{outdir}/{path.rsplit('/', 1)[-1].rsplit('.', 1)[0]}"
        with open(name, "wb") as f:
            f.write(seed(chip, int(memory_kb), events))


if __name__ == "__main__":
    main()
