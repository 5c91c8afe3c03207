#!/usr/bin/env python3
"""Writes the seeds of fuzz_lightlevel: spectrum records in the harness's format.

flat.bin: 1.0 from 380 to 780 nm, default calibration. single.bin: one point at 555 nm.
coarse.bin: 201 values 2 nm apart with gains and a matrix. nan.bin: a value that is not a
number. infinite.bin: an infinite wavelength range and a huge scale.
"""
import math
import pathlib
import struct

IDENTITY = [1.0, 0, 0, 0, 1.0, 0, 0, 0, 1.0]


def record(count, start, end, scale, values, gains=(1.0, 1.0, 1.0, 1.0), matrix=IDENTITY):
    head = struct.pack("<i7f", count, start, end, scale, *gains)
    return head + struct.pack("<9d", *matrix) + struct.pack("<%df" % len(values), *values)


out = pathlib.Path(__file__).resolve().parent / "seeds" / "lightlevel"
out.mkdir(parents=True, exist_ok=True)
seeds = {
    "flat.bin": record(401, 380.0, 780.0, 1.0, [1.0] * 401),
    "single.bin": record(1, 555.0, 555.0, 2.0, [1.0]),
    "coarse.bin": record(201, 380.0, 780.0, 0.5, [0.5] * 201, (1.1, 0.9, 1.2, 2.0),
                         [0.9, 0.1, 0, 0.05, 1.1, -0.15, 0, 0.2, 0.8]),
    "nan.bin": record(401, 380.0, 780.0, 1.0, [1.0] * 100 + [math.nan] + [1.0] * 300),
    "infinite.bin": record(1001, -math.inf, math.inf, 3e38, [1.0] * 1001),
}
for name, data in seeds.items():
    (out / name).write_bytes(data)
