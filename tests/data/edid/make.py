#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Writes the EDID test files of this folder. Every monitor here is made up;
# the blocks follow the VESA E-EDID 1.4 layout.
import struct, pathlib

def pnp(code):
    a, b, c = (ord(ch) - 64 for ch in code)
    return struct.pack('>H', (a << 10) | (b << 5) | c)

def text_descriptor(tag, text):
    data = text.encode('latin-1')[:13]
    if len(data) < 13:
        data += b'\n' + b' ' * (12 - len(data))
    return bytes([0, 0, 0, tag, 0]) + data

def timing(clock_khz, h, hblank, v, vblank):
    c = clock_khz // 10
    return bytes([c & 0xFF, c >> 8, h & 0xFF, hblank & 0xFF, ((h >> 8) << 4) | (hblank >> 8),
                  v & 0xFF, vblank & 0xFF, ((v >> 8) << 4) | (vblank >> 8)]) + bytes(10)

def block(vendor, product, serial, week, year, descriptors, extensions=0):
    b = bytes([0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0]) + pnp(vendor)
    b += struct.pack('<HI', product, serial) + bytes([week, year - 1990, 1, 4])
    b += bytes(125 - len(b) - 0)[:0]
    b = b.ljust(54, b'\0')
    for d in descriptors:
        b += d
    b = b.ljust(126, b'\0') + bytes([extensions])
    return b + bytes([(-sum(b)) & 0xFF])

here = pathlib.Path(__file__).parent
files = {
    'office-27.bin': block('DEL', 0xA0C4, 0x4C4F4F42, 12, 2021, [
        timing(533250, 3840, 160, 2160, 62), text_descriptor(0xFC, 'DELL U2720Q'),
        text_descriptor(0xFF, '7XKD123'), text_descriptor(0xFD, '')]),
    'tv-hdmi.bin': block('SAM', 0x0F35, 0, 255, 2019, [
        timing(148500, 1920, 280, 1080, 45), text_descriptor(0xFC, 'SAMSUNG')], extensions=1)
        + bytes(128),
    'hostile-name.bin': block('ZZZ', 1, 1, 1, 2000, [
        text_descriptor(0xFC, 'Bad\x01\x7f\xffName'), text_descriptor(0xFF, '   ')]),
    'no-descriptors.bin': block('GSM', 0x5B7F, 123456, 30, 2015, []),
}
files['bad-checksum.bin'] = files['office-27.bin'][:127] + bytes([files['office-27.bin'][127] ^ 1])
files['truncated.bin'] = files['office-27.bin'][:100]
files['bad-header.bin'] = b'\x01' + files['office-27.bin'][1:]
for name, data in files.items():
    (here / name).write_bytes(data)
