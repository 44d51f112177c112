#!/usr/bin/env python3
"""Writes the skin package: a ZIP of the given files, the same bytes for the same files.

Usage: make_zip.py OUT.zip FILE ...   (run in the folder the names are relative to)

Each file is deflated at the highest level, or stored when deflating would not
make it smaller (the PNG images are compressed already). Every entry has the
same time stamp and no extra fields, so nothing of the build machine or the
moment of the build ends up in the package.
"""
import sys
import zipfile
import zlib

STAMP = (2000, 1, 1, 0, 0, 0)


def deflated_size(data):
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    return len(packer.compress(data) + packer.flush())


def main(out, names):
    with zipfile.ZipFile(out, "w") as archive:
        for name in names:
            with open(name, "rb") as f:
                data = f.read()
            entry = zipfile.ZipInfo(name, date_time=STAMP)
            entry.create_system = 0
            entry.external_attr = 0
            if deflated_size(data) < len(data):
                archive.writestr(entry, data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
            else:
                archive.writestr(entry, data, compress_type=zipfile.ZIP_STORED)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
