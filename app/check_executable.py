#!/usr/bin/env python3
"""Checks the built installer: a GUI executable for its architecture (PE32 for
i386, the shipped build; PE32+ for x86_64) that carries the
manifest (administrator rights, per-monitor DPI, common controls 6), a version
resource whose FileVersion has four components, icon 106 and the skin package."""
import struct
import sys


# The machine, the optional header's magic and the manifest's architecture.
ARCHITECTURES = {
    "i686": (0x14C, 0x10B, "x86"),
    "x86_64": (0x8664, 0x20B, "amd64"),
}


def main(exe_path, skin_zip_path, arch):
    want_machine, want_magic, want_manifest = ARCHITECTURES[arch]
    data = open(exe_path, "rb").read()
    failures = []

    def check(ok, what):
        print(("ok   - " if ok else "FAIL - ") + what)
        if not ok:
            failures.append(what)

    pe = struct.unpack_from("<I", data, 0x3C)[0]
    check(data[:2] == b"MZ" and data[pe:pe + 4] == b"PE\0\0", "PE signature")
    machine = struct.unpack_from("<H", data, pe + 4)[0]
    check(machine == want_machine, "machine is %s (0x%x)" % (arch, machine))
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    check(magic == want_magic, "optional header is %s (0x%x)" % ("PE32+" if magic == 0x20B else "PE32", magic))
    subsystem = struct.unpack_from("<H", data, opt + 68)[0]
    check(subsystem == 2, "GUI subsystem (%d)" % subsystem)

    check(('processorArchitecture="%s"' % want_manifest).encode() in data,
          "manifest names the architecture %s" % want_manifest)
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
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else "i686"))
