#!/usr/bin/env python3
"""Checks the built installer: a PE32 GUI executable for i386 that carries the
manifest (administrator rights, per-monitor DPI, common controls 6), a version
resource whose FileVersion has four components, icon 106 and the skin package."""
import struct
import sys


def main(exe_path, skin_zip_path):
    data = open(exe_path, "rb").read()
    failures = []

    def check(ok, what):
        print(("ok   - " if ok else "FAIL - ") + what)
        if not ok:
            failures.append(what)

    pe = struct.unpack_from("<I", data, 0x3C)[0]
    check(data[:2] == b"MZ" and data[pe:pe + 4] == b"PE\0\0", "PE signature")
    machine = struct.unpack_from("<H", data, pe + 4)[0]
    check(machine == 0x14C, "machine is i386 (0x%x)" % machine)
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    check(magic == 0x10B, "optional header is PE32 (0x%x)" % magic)
    subsystem = struct.unpack_from("<H", data, opt + 68)[0]
    check(subsystem == 2, "GUI subsystem (%d)" % subsystem)

    check(b'level="requireAdministrator"' in data, "manifest requests administrator rights")
    check(b">True/PM<" in data, "manifest declares per-monitor DPI awareness")
    check(b'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' in data, "manifest asks for common controls 6")

    file_version = "FileVersion".encode("utf-16-le")
    # Inside the version resource: the program's code may hold the same
    # wide text (the name it asks the version resource for).
    at = data.find(file_version, max(0, data.find("VS_VERSION_INFO".encode("utf-16-le"))))
    value = ""
    if at >= 0:
        # The value follows the key's terminator and padding to a 32-bit boundary.
        pos = at + len(file_version) + 2
        while pos % 4:
            pos += 1
        end = data.find(b"\0\0", pos)
        while (end - pos) % 2:
            end = data.find(b"\0\0", end + 1)
        value = data[pos:end].decode("utf-16-le", "replace")
    check(len(value.split(".")) == 4, "FileVersion has four components (%r)" % value)

    skin = open(skin_zip_path, "rb").read()
    check(len(skin) > 0 and skin in data, "the skin package is embedded whole (%d bytes)" % len(skin))
    check("IDR_ZIPRES".encode("utf-16-le") in data and "ZIPRES".encode("utf-16-le") in data,
          "the skin resource is named IDR_ZIPRES of type ZIPRES")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
