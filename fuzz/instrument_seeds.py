#!/usr/bin/env python3
"""Writes the seeds of fuzz_instrument: the answer streams of a well-behaved instrument.

Each reply read takes a control byte: 0x80 gives a well-formed accepted reply. Data phases
take their bytes as they are. ordinary.bin: a TR7BQ of protocol revision 0x107 through the
opening sequence, a capture with shutter, offsets and auto-range at 8192 Hz, and a dark
calibration. four_angle.bin: a TR9G whose information file is read in two chunks.
"""
import pathlib
import struct

OK = b"\x80"


def words(*w):
    return struct.pack("<%dI" % len(w), *w)


def info_block(model):
    block = bytearray(80)
    struct.pack_into("<fff", block, 4, 2048.0, 380.0, 780.0)
    struct.pack_into("<H", block, 20, model)
    block[22], block[23] = 5, 7
    block[28:32] = bytes([0, 3, 2, 1])
    block[40:48] = b"SIM00001"
    return bytes(block)


def opening(model, extra=b""):
    s = words(0, 1) + OK                 # Ping
    s += words(0, 0x107) + OK            # GetProtocolRevision
    config = bytearray(44)
    struct.pack_into("<I", config, 4, 4)
    struct.pack_into("<I", config, 32, 2048)
    s += bytes(config) + OK              # ReadConfig
    s += info_block(model) + OK          # ReadDeviceInfo
    s += extra
    s += bytes(52) + OK                  # ReadGains
    s += words(0, 3) + OK                # GetMatrixIndex
    s += bytes(168) + OK                 # ReadMatrix
    s += words(0, 0) + OK                # GetDarkVariant
    return s


def samples(count, value):
    return struct.pack("<%dH" % count, *([value] * count))


def capture_read(count, value):
    return OK + words(0, 0, 0) + OK + samples(count, value) + OK  # start, status, samples


ordinary = opening(0xAD)
ordinary += OK                                                     # SetShutter 0
ordinary += b"".join(capture_read(512, 300) for _ in range(4))      # offsets
ordinary += OK                                                     # SetShutter 1
ordinary += b"".join(capture_read(512, 30000) for _ in range(1))    # range test in window
ordinary += capture_read(2048, 30000)                              # the capture
ordinary += OK + OK + words(0, 0, 0) + OK + OK                     # shutter, dark ref, status, shutter

content = b"Version:2\r\nID:3\r\nSN:AB123\r\n"
four_file = words(0, 16) + OK + OK + words(0, 1, len(content)) + OK  # chunk, select, info (size)
four_file += words(0, 16) + OK + OK + words(0, 1, len(content)) + OK  # again for the read
four_file += OK + words(0, 0, 0) + OK                               # start transfer, ready
four_file += content[:16] + OK + words(0, 0, 0) + OK
four_file += content[16:] + OK + words(0, 0, 0) + OK
four_file += OK + words(0, 0, 0) + OK + OK + words(0, 0, 0) + OK     # the two preparations
four_angle = opening(0xC1, four_file)

out = pathlib.Path(__file__).resolve().parent / "seeds" / "instrument"
out.mkdir(parents=True, exist_ok=True)
(out / "ordinary.bin").write_bytes(ordinary)
(out / "four_angle.bin").write_bytes(four_angle)
