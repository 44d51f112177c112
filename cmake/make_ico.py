#!/usr/bin/env python3
"""Packs PNG images into one Windows .ico file (PNG-compressed entries)."""
import struct
import sys


def main(out, pngs):
    images = []
    for path in pngs:
        data = open(path, "rb").read()
        width, height, depth, colour = struct.unpack(">IIBB", data[16:26])
        # Icon entries are read as 32-bit RGBA; a recompressor that chose a
        # palette or grey for fewer bytes must not change that.
        if (depth, colour) != (8, 6):
            sys.exit("%s: not 8-bit RGBA (bit depth %d, colour type %d)" % (path, depth, colour))
        images.append((width, height, data))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for width, height, data in images:
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(out, "wb") as f:
        f.write(header + entries + b"".join(d for _, _, d in images))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
