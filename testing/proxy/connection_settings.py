#!/usr/bin/env python3
"""Writes the current user's proxy settings into a Wine prefix the way
Windows keeps them: the binary value "DefaultConnectionSettings" under
HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections,
which WinHttpGetIEProxyConfigForCurrentUser reads.

Layout (little-endian DWORDs): 0x46, a change counter, the flags (1 direct,
2 manual proxy, 4 configuration script, 8 automatic detection), then the proxy
list, the bypass list and the script URL, each as a length and its bytes,
then 32 zero bytes as Windows writes them.

usage: connection_settings.py WINE_RUN [--proxy LIST] [--bypass LIST]
                              [--script URL] [--auto-detect] [--clear]
WINE_RUN is the build tree's wine-run (it picks the prefix).
"""
import argparse
import struct
import subprocess
import sys

KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections"
VALUE = "DefaultConnectionSettings"
DIRECT, PROXY, SCRIPT, AUTO_DETECT = 1, 2, 4, 8


def encode(proxy="", bypass="", script="", auto_detect=False, counter=1):
    flags = DIRECT
    if proxy:
        flags |= PROXY
    if script:
        flags |= SCRIPT
    if auto_detect:
        flags |= AUTO_DETECT
    data = struct.pack("<III", 0x46, counter, flags)
    for text in (proxy, bypass, script):
        raw = text.encode("ascii")
        data += struct.pack("<I", len(raw)) + raw
    return data + bytes(32)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("wine_run")
    p.add_argument("--proxy", default="")
    p.add_argument("--bypass", default="")
    p.add_argument("--script", default="")
    p.add_argument("--auto-detect", action="store_true")
    p.add_argument("--clear", action="store_true", help="delete the value (no settings: direct)")
    a = p.parse_args()
    if a.clear:
        cmd = ["reg", "delete", KEY, "/v", VALUE, "/f"]
    else:
        data = encode(a.proxy, a.bypass, a.script, a.auto_detect)
        cmd = ["reg", "add", KEY, "/v", VALUE, "/t", "REG_BINARY", "/d", data.hex(), "/f"]
    r = subprocess.run([a.wine_run, *cmd], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if r.returncode != 0 and not a.clear:
        sys.stderr.write(r.stderr.decode(errors="replace"))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
