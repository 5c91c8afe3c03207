#!/usr/bin/env python3
"""Writes the seeds of fuzz_sim_requests: operation lists in the harness's format.

opening.bin: the host's opening sequence of a four-angle unit (ping, revision, configuration,
information, the information file in chunks of 16 bytes, the two preparations, gains, matrix,
dark variant). capture.bin: shutter, dark reference, a capture and its samples, a spectrum.
raw.bin: the byte-exact GetStatus request written raw, then raw reads of its data and reply.
faults.bin: each fault kind injected once, each followed by a request.
"""
import pathlib
import struct

LENGTHS = [2, 8, 12, 16, 24, 32, 40]


def request(code, command_length, data_length, *args):
    body = struct.pack("<BHB", 2, code, LENGTHS.index(command_length))
    body += struct.pack("<I", data_length)[:3]
    count = (command_length - 4) // 4 if command_length > 2 else 0  # arguments after code and padding
    body += struct.pack("<%dI" % count, *(list(args) + [0] * 9)[:count])
    return body


def control(byte, code=None):
    return bytes([3, byte]) + (struct.pack("<H", code) if code is not None else b"")


name = "/SYS1/YT2290_Info.CFG"
size = len("Version:1\r\nID:2\r\nSN:12345\r\n")
opening = b"".join([
    request(0x0101, 2, 8), request(0x0102, 2, 8), request(0x0005, 2, 44), request(0x0002, 2, 80),
    request(0x4000, 2, 8), request(0x4002, 2, 132) + b"\x01", request(0x4010, 2, 12),
    request(0x4011, 12, 0, 1, size), request(0x1003, 2, 12),
    request(0x4013, 2, 16), request(0x4013, 2, 11), request(0x4014, 2, 0),
    request(0x1008, 16, 0, 60, 1), request(0x6020, 16, 0, 60, 1),
    request(0x0014, 2, 52), request(0x0022, 2, 8), request(0x0020, 12, 168, 0), request(0x0024, 2, 8),
])
capture = b"".join([
    request(0x5010, 24, 0, 0), request(0x1004, 8, 0, 1), request(0x1003, 2, 12), request(0x5010, 24, 0, 1),
    request(0x6000, 24, 0, 8192, 512, 2), request(0x1003, 2, 12), request(0x6001, 16, 1024, 512),
    request(0x1007, 40, 0, 100, 1, 1, 0, 0, 1, 0, 0), request(0x0003, 2, 4 * 401 + 16),
    request(0x0006, 2, 2 * 1024 + 4), request(0x1001, 16, 0, 100, 0, 1),
])
get_status = bytes([0x22, 0x33, 0x44, 0x55, 0x34, 0x12, 0, 0, 0x0C, 0, 0, 0, 0, 0, 0, 0,
                    0x1A, 0, 0, 0, 2, 0, 0, 0, 0x03, 0x10])
raw = bytes([0, len(get_status)]) + get_status + bytes([1, 12, 0, 1, 16, 0, 1, 16, 0])
faults = b"".join(control(kind | 0x10) + request(0x0002, 2, 80) for kind in range(7))
faults += control(0x03, 0x1003) + request(0x1003, 2, 12) + control(0xC1) + request(0x0101, 2, 8)

out = pathlib.Path(__file__).resolve().parent / "seeds" / "sim_requests"
out.mkdir(parents=True, exist_ok=True)
for file, data in [("opening.bin", opening), ("capture.bin", capture), ("raw.bin", raw), ("faults.bin", faults)]:
    (out / file).write_bytes(data)
