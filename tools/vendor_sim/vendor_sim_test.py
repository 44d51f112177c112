#!/usr/bin/python3
"""Starts the vendor simulator on 127.0.0.1 and checks each endpoint and each
fault with real requests made by the curl command.

usage: vendor_sim_test.py PATH/TO/vendor_sim
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

SIM = None
DOWNLOAD = "/official/pc/client_channel/QVInstaller.exe"
DIRECTORY = "/api/multi_platform_manage_bff/v1/disaster/backup_domain/list"
REPORT = "/api/data_report/client/update_pc_module"
ACTIVE = "/api/common_bll/v1/client/active"
SIZE = 300000


def wait_until(predicate, seconds=10.0):
    """Bounded wait: proves something happens rather than timing it."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.02)
    return predicate()


def pid_alive(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().split(") ")[1][0] != "Z"
    except (FileNotFoundError, IndexError):
        return False


class Sim:
    """One simulator process with its own folder for the payload and the record."""

    def __init__(self, *flags, stdin=subprocess.DEVNULL, payload=None):
        self.dir = tempfile.mkdtemp(prefix="vendor_sim_test.")
        self.payload = os.path.join(self.dir, "payload.bin")
        # Compressible yet not trivial, so gzip changes the size on the wire.
        block = bytes((i * 7 + i // 256) % 251 for i in range(1000))
        with open(self.payload, "wb") as f:
            f.write(payload if payload is not None else (block * (SIZE // 1000 + 1))[:SIZE])
        self.record = os.path.join(self.dir, "record.jsonl")
        self.port_file = os.path.join(self.dir, "ports.json")
        args = [SIM, "--file", self.payload, "--record", self.record, "--port-file", self.port_file,
                "--max-lifetime", "120", *flags]
        self.proc = subprocess.Popen(args, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if not wait_until(lambda: os.path.exists(self.port_file) or self.proc.poll() is not None):
            raise AssertionError("simulator did not start")
        if self.proc.poll() is not None:
            raise AssertionError("simulator ended: " + self.proc.stderr.read().decode())
        with open(self.port_file) as f:
            self.ports = json.load(f)
        self.api = self.ports["api_url"]
        self.domains = self.ports["domains"]
        with open(self.payload, "rb") as f:
            self.content = f.read()

    def requests(self):
        if not os.path.exists(self.record):
            return []
        with open(self.record) as f:
            return [json.loads(line) for line in f if line.strip()]

    def stop(self):
        """Stops the simulator and fails when it did not end cleanly (a
        sanitizer report, a hang on the way out)."""
        hung = False
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                hung = True
                self.proc.kill()
                self.proc.wait()
        errors = self.proc.stderr.read().decode(errors="replace")
        self.proc.stdout.close()
        self.proc.stderr.close()
        shutil.rmtree(self.dir, ignore_errors=True)
        if hung or self.proc.returncode != 0:
            raise AssertionError(f"simulator ended badly (exit {self.proc.returncode}, hung {hung}): {errors}")


def curl(*args, timeout=30):
    """Runs curl; returns (exit code, http code, bytes received, headers text, body)."""
    with tempfile.TemporaryDirectory() as d:
        body_path, head_path = os.path.join(d, "body"), os.path.join(d, "head")
        p = subprocess.run(["curl", "-s", "-o", body_path, "-D", head_path, "-w", "%{http_code} %{size_download}",
                            *args], capture_output=True, timeout=timeout)
        code, size = p.stdout.decode().split()
        body, head = b"", ""
        if os.path.exists(body_path):
            with open(body_path, "rb") as f:
                body = f.read()
        if os.path.exists(head_path):
            with open(head_path, newline="") as f:
                head = f.read()
        return p.returncode, int(code), int(size), head.lower(), body


def fake_signed_program():
    """A PE32 file whose security directory names a certificate table at its
    end, as a signed program's does; returns it and the same file unsigned
    (the table cut off, the directory entry zeroed)."""
    pe = 0x80
    security = pe + 24 + 96 + 4 * 8
    body = bytearray(bytes((i * 13) % 256 for i in range(6000)))
    body[0:2] = b"MZ"
    body[0x3C:0x40] = pe.to_bytes(4, "little")
    body[pe:pe + 4] = b"PE\0\0"
    body[pe + 24:pe + 26] = (0x10B).to_bytes(2, "little")
    table = b"\x30\x82" + bytes(range(200))
    body[security:security + 8] = len(body).to_bytes(4, "little") + len(table).to_bytes(4, "little")
    unsigned = bytearray(body)
    unsigned[security:security + 8] = bytes(8)
    return bytes(body) + table, bytes(unsigned)


class SimTestCase(unittest.TestCase):
    flags = ()

    def setUp(self):
        self.sim = Sim(*self.flags)

    def tearDown(self):
        self.sim.stop()


class DirectoryAnswers(unittest.TestCase):
    def test_answers(self):
        raw = '{"domain_list":[{"domain_key":"oss_domain","main_url":"x"}]}'
        raw2 = ('{"domain_list":[{"domain_key":"OSS_DOMAIN","main_url":"{domain2}","backup_urls":["{domain0}",'
                '"{domain0}/x",5]},{"domain_key":"OSS_DOMAIN","main_url":"{domain1}"}]}')
        cases = [
            # name, flags, expected status, expected answer (None: compute from the domains)
            ("default lists every domain", (), 200, None),
            ("chosen domains and extra urls", ("--directory-domains", "2,0", "--directory-extra",
                                               "http://127.0.0.1:1"), 200, "2,0+extra"),
            ("no domains", ("--directory-domains", "none"), 200, "none"),
            ("raw answer with a status", ("--directory-file", "RAW", "--directory-status", "500"), 500, raw),
            ("raw answer naming domains", ("--directory-file", "RAW2"), 200, "raw2"),
        ]
        for name, flags, status, expected in cases:
            with self.subTest(name):
                with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
                    f.write(raw2 if "RAW2" in flags else raw)
                flags = tuple(f.name if x in ("RAW", "RAW2") else x for x in flags)
                sim = Sim(*flags)
                try:
                    rc, code, _, _, body = curl(sim.api + DIRECTORY + "?client_type=10&version=3.0.0",
                                                "-H", "Saas-App-Id:QV_PC", "-H", "User-Agent: PC/Windows/x")
                    self.assertEqual((rc, code), (0, status))
                    if expected == raw:
                        self.assertEqual(body.decode(), raw)
                    elif expected == "raw2":
                        d = sim.domains
                        self.assertEqual(body.decode(), raw2.replace("{domain2}", d[2]).replace("{domain0}", d[0])
                                     .replace("{domain1}", d[1]))
                    else:
                        entry = json.loads(body)["domain_list"][0]
                        self.assertEqual(entry["domain_key"], "OSS_DOMAIN")
                        d = sim.domains
                        urls = {None: d, "2,0+extra": [d[2], d[0], "http://127.0.0.1:1"], "none": []}[expected]
                        self.assertEqual([entry["main_url"]] + entry["backup_urls"] if "main_url" in entry
                                         else entry["backup_urls"], urls)
                    rec = sim.requests()
                    self.assertEqual(len(rec), 1)
                    self.assertEqual((rec[0]["server"], rec[0]["method"], rec[0]["path"], rec[0]["query"]),
                                     ("api", "GET", DIRECTORY, "client_type=10&version=3.0.0"))
                    self.assertEqual(rec[0]["headers"]["Saas-App-Id"], "QV_PC")
                    self.assertEqual(rec[0]["headers"]["User-Agent"], "PC/Windows/x")
                    self.assertEqual(rec[0]["status"], status)
                finally:
                    sim.stop()
                    os.unlink(f.name)

    def test_proxy_auto_configuration_script(self):
        script = 'function FindProxyForURL(url, host) { return "DIRECT"; }\n'
        with tempfile.NamedTemporaryFile("w", suffix=".pac", delete=False) as f:
            f.write(script)
        try:
            for name, flags, status, body in [("served with --pac-file", ("--pac-file", f.name), 200, script),
                                              ("absent without it", (), 404, "not found\n")]:
                with self.subTest(name):
                    sim = Sim(*flags)
                    try:
                        rc, code, _, head, got = curl(sim.api + "/proxy.pac")
                        self.assertEqual((rc, code, got.decode()), (0, status, body))
                        if status == 200:
                            self.assertIn("content-type: application/x-ns-proxy-autoconfig", head)
                        self.assertEqual([(r["path"], r["status"]) for r in sim.requests()],
                                         [("/proxy.pac", status)])
                    finally:
                        sim.stop()
        finally:
            os.unlink(f.name)

    def test_port_file_gives_the_environment(self):
        env_file = tempfile.mktemp(prefix="vendor_sim_env.")
        sim = Sim("--domains", "2", "--env-file", env_file)
        try:
            env = sim.ports["env"]
            shell = subprocess.run(["bash", "-c", f'source {env_file} && echo "$QV_DIRECTORY_URL|$QV_REPORT_URL|'
                                                  f'$QV_CLIENT_SERVICE_URL|$QV_BUILTIN_DOMAINS"'],
                                   capture_output=True, text=True, timeout=30)
            self.assertEqual(shell.stdout.strip().split("|"), [env["QV_DIRECTORY_URL"], env["QV_REPORT_URL"],
                                                               env["QV_CLIENT_SERVICE_URL"],
                                                               env["QV_BUILTIN_DOMAINS"]])
            self.assertEqual(env["QV_DIRECTORY_URL"], sim.api)
            self.assertEqual(env["QV_REPORT_URL"], sim.api)
            self.assertEqual(env["QV_CLIENT_SERVICE_URL"], sim.api)
            self.assertEqual(env["QV_BUILTIN_DOMAINS"].split(","), sim.domains)
            self.assertEqual(len(sim.domains), 2)
            self.assertEqual(sim.ports["pid"], sim.proc.pid)
        finally:
            sim.stop()
            if os.path.exists(env_file):
                os.unlink(env_file)


class Downloads(SimTestCase):
    flags = ("--domains", "2")

    def test_head_gives_length_and_ranges(self):
        rc, code, size, head, body = curl("-I", self.sim.domains[1] + DOWNLOAD)
        self.assertEqual((rc, code, size), (0, 200, 0))
        self.assertIn(f"content-length: {SIZE}\r\n", head)
        self.assertIn("accept-ranges: bytes\r\n", head)
        rec = self.sim.requests()[-1]
        self.assertEqual((rec["server"], rec["domain"], rec["method"]), ("domain", 1, "HEAD"))

    def test_byte_ranges(self):
        cases = [
            # name, Range header, status, first, last (inclusive)
            ("closed range", "bytes=100-199", 206, 100, 199),
            ("open range", f"bytes={SIZE - 10}-", 206, SIZE - 10, SIZE - 1),
            ("suffix", "bytes=-50", 206, SIZE - 50, SIZE - 1),
            ("end beyond the size", f"bytes={SIZE - 5}-{SIZE + 1000}", 206, SIZE - 5, SIZE - 1),
            ("several ranges are served whole", "bytes=0-1,5-6", 200, 0, SIZE - 1),
            ("unsatisfiable", f"bytes={SIZE}-", 416, None, None),
        ]
        for name, rng, status, first, last in cases:
            with self.subTest(name):
                rc, code, _, head, body = curl("-H", "Range: " + rng, self.sim.domains[0] + DOWNLOAD)
                self.assertEqual((rc, code), (0, status))
                if status == 206:
                    self.assertIn(f"content-range: bytes {first}-{last}/{SIZE}\r\n", head)
                if status == 416:
                    self.assertIn(f"content-range: bytes */{SIZE}\r\n", head)
                else:
                    self.assertEqual(body, self.sim.content[first:last + 1])

    def test_gzip_only_when_asked_and_not_for_ranges(self):
        cases = [
            # name, curl flags, compressed on the wire
            ("asked", ("--compressed",), True),
            ("not asked", (), False),
            ("range", ("--compressed", "-r", "0-999"), False),
        ]
        for name, flags, gzipped in cases:
            with self.subTest(name):
                rc, code, wire, head, body = curl(*flags, self.sim.domains[0] + DOWNLOAD)
                self.assertEqual(rc, 0)
                self.assertEqual("content-encoding: gzip" in head, gzipped)
                self.assertEqual(body, self.sim.content[:len(body)])
                self.assertEqual(len(body), 1000 if name == "range" else SIZE)
                self.assertEqual(wire < len(body), gzipped)
                self.assertEqual(self.sim.requests()[-1]["encoding"], "gzip" if gzipped else "")

    def test_keep_alive_serves_several_requests_on_one_connection(self):
        url = self.sim.domains[0] + DOWNLOAD
        p = subprocess.run(["curl", "-s", "-r", "0-9", url, "-o", "/dev/null", "-r", "10-19", url, "-o",
                            "/dev/null", "-w", "%{num_connects} "], capture_output=True, timeout=30)
        self.assertEqual(p.returncode, 0)
        self.assertEqual(p.stdout.decode().split(), ["1", "0"])

    def test_other_paths_are_not_found(self):
        rc, code, _, _, _ = curl(self.sim.domains[0] + "/official/pc/client_channel/other.exe")
        self.assertEqual((rc, code), (0, 404))


class NoGzip(SimTestCase):
    flags = ("--no-gzip",)

    def test_never_compresses(self):
        rc, code, wire, head, body = curl("--compressed", self.sim.domains[0] + DOWNLOAD)
        self.assertEqual((rc, code, wire), (0, 200, SIZE))
        self.assertNotIn("content-encoding", head)


class Rate(SimTestCase):
    flags = ("--rate", "1:200k", "--no-gzip")

    def test_rate_limits_each_connection(self):
        # A lower bound only: pacing can make a transfer slower, never faster,
        # so this cannot fail on a busy machine.
        p = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{http_code} %{size_download} %{time_total}",
                            self.sim.domains[1] + DOWNLOAD], capture_output=True, timeout=30)
        code, size, seconds = p.stdout.decode().split()
        self.assertEqual((p.returncode, code, int(size)), (0, "200", SIZE))
        self.assertGreaterEqual(float(seconds), 0.8 * SIZE / (200 * 1024))


class Faults(unittest.TestCase):
    def test_each_fault(self):
        half = SIZE // 2
        cases = [
            # name, fault, curl flags, curl exit code, http code, bytes received, recorded fault
            ("refuse", "refuse", (), 7, 0, 0, None),
            ("reset", "reset", (), 56, 0, 0, "reset"),
            ("not found", "404", (), 0, 404, None, "status=404"),
            ("other status", "status=503", (), 0, 503, None, "status=503"),
            ("stall after the headers", "stall", ("--max-time", "2"), 28, 200, 0, "stall"),
            ("stall after some bytes", "stall=1000", ("--max-time", "2"), 28, 200, 1000, "stall"),
            ("drop half-way", "drop", (), 18, 200, half, "drop"),
            ("drop after some bytes", "drop=4k", (), 18, 200, 4096, "drop"),
            ("ranges ignored", "noranges", ("-r", "100-199"), 0, 200, SIZE, "noranges"),
            ("no length", "nolength", (), 0, 200, SIZE, "nolength"),
        ]
        for name, fault, flags, exit_code, status, received, recorded in cases:
            with self.subTest(name):
                sim = Sim("--domains", "2", "--no-gzip", "--fault", "0:" + fault)
                try:
                    rc, code, size, head, body = curl(*flags, sim.domains[0] + DOWNLOAD)
                    self.assertEqual((rc, code), (exit_code, status))
                    if received is not None:
                        self.assertEqual(size, received)
                        self.assertEqual(body, sim.content[:received])
                    if fault == "noranges":
                        self.assertNotIn("accept-ranges", head)
                    if fault == "nolength":
                        self.assertNotIn("content-length", head)
                        self.assertNotIn("content-length", curl("-I", sim.domains[0] + DOWNLOAD)[3])
                    # The other domain is untouched.
                    self.assertEqual(curl(sim.domains[1] + DOWNLOAD)[:3], (0, 200, SIZE))
                    rec = [r for r in sim.requests() if r["server"] == "domain" and r["domain"] == 0
                           and r["method"] == "GET"]
                    self.assertEqual([r["fault"] for r in rec], [recorded] if recorded else [])
                finally:
                    sim.stop()

    def test_cut_at_a_file_offset_and_the_bytes_handed_out(self):
        counts = os.path.join(tempfile.mkdtemp(prefix="vendor_sim_bytes."), "bytes.json")
        sim = Sim("--domains", "2", "--no-gzip", "--fault", "0:cut=3000", "--bytes-file", counts)
        try:
            # name, curl flags, bytes received: the file ends at byte 3000 whatever was asked
            for name, flags, first, received in [("whole file", (), 0, 3000),
                                                  ("from byte 1000", ("-r", "1000-"), 1000, 2000),
                                                  ("beyond the cut", ("-r", "5000-"), 5000, 0)]:
                with self.subTest(name):
                    rc, code, size, head, body = curl(*flags, sim.domains[0] + DOWNLOAD)
                    self.assertEqual((rc, size), (18, received))
                    self.assertEqual(body, sim.content[first:first + received])
            self.assertEqual(curl(sim.domains[1] + DOWNLOAD)[:3], (0, 200, SIZE))
            expected = {"0": 5000, "1": SIZE, "total": 5000 + SIZE}

            def counted():
                try:
                    with open(counts) as f:
                        return json.load(f) == expected
                except (OSError, ValueError):
                    return False
            self.assertTrue(wait_until(counted), open(counts).read() if os.path.exists(counts) else "no file")
            self.assertEqual([r["fault"] for r in sim.requests() if r["server"] == "domain" and r["domain"] == 0],
                             ["cut"] * 3)
        finally:
            sim.stop()
            shutil.rmtree(os.path.dirname(counts), ignore_errors=True)

    def test_payload_variants_and_probe_disagreements(self):
        signed, unsigned = fake_signed_program()
        foreign = b"MZ foreign" + bytes(range(256)) * 40
        tampered = bytearray(signed)
        tampered[len(signed) // 2] ^= 1
        at_100 = bytearray(signed)
        at_100[100] ^= 1
        cases = [
            # name, fault, expected GET body, HEAD status, HEAD length, recorded fault
            ("signature stripped", "unsigned", unsigned, 200, len(unsigned), "unsigned"),
            ("one byte changed", "tamper", bytes(tampered), 200, len(signed), "tamper"),
            ("one byte changed at 100", "tamper=100", bytes(at_100), 200, len(signed), "tamper"),
            ("another publisher's file", "foreign", foreign, 200, len(foreign), "foreign"),
            ("cut short on the server", "short=1000", signed[:1000], 200, 1000, "short"),
            ("probe announces another length", "headlength=2500", signed, 200, 2500, ""),
            ("probe refused", "headstatus=405", signed, 405, None, ""),
        ]
        for name, fault, expected, head_status, head_length, recorded in cases:
            with self.subTest(name):
                sim = Sim("--domains", "2", "--foreign-file", self.foreign_file(foreign), "--fault", "0:" + fault,
                          payload=signed)
                try:
                    url = sim.domains[0] + DOWNLOAD
                    rc, code, _, head, _ = curl("-I", url)
                    self.assertEqual(code, head_status)
                    if head_length is not None:
                        self.assertIn(f"content-length: {head_length}\r\n", head)
                    # A whole-file GET asking for gzip gets the variant, never the compressed original.
                    rc, code, _, head, body = curl("--compressed", url)
                    self.assertEqual((rc, code, body), (0, 200, expected))
                    # A range of it is the variant's range.
                    rc, code, _, head, body = curl("-r", "900-1099", url)
                    self.assertEqual((rc, code), (0, 206))
                    self.assertEqual(body, expected[900:1100])
                    self.assertIn(f"/{len(expected)}\r\n", head)
                    rec = [r for r in sim.requests() if r["server"] == "domain" and r["domain"] == 0]
                    self.assertEqual([r["fault"] for r in rec if r["method"] == "GET"], [recorded] * 2)
                    if fault.startswith("head"):
                        self.assertEqual(rec[0]["fault"], fault.split("=")[0] + ("=405" if "status" in fault else ""))
                    self.assertEqual(curl(sim.domains[1] + DOWNLOAD)[4], signed)
                finally:
                    sim.stop()

    def test_html_page_answered_200(self):
        sim = Sim("--fault", "0:html@2")
        try:
            url = sim.domains[0] + DOWNLOAD
            self.assertEqual(curl(url)[4], sim.content)  # the ranking probe is served well
            for flags in ((), ("-r", "0-99"), ("-I",)):
                rc, code, size, head, body = curl(*flags, url)
                self.assertEqual((rc, code), (0, 200), flags)
                self.assertIn("content-type: text/html", head)
                self.assertNotIn("content-range", head)
                if flags != ("-I",):
                    self.assertTrue(body.startswith(b"<!DOCTYPE html>"), body[:40])
                    self.assertLess(len(body), 1000)
            self.assertEqual([r["fault"] for r in sim.requests() if r["domain"] == 0], ["", "html", "html", "html"])
        finally:
            sim.stop()

    def foreign_file(self, data):
        d = tempfile.mkdtemp(prefix="vendor_sim_foreign.")
        self.addCleanup(shutil.rmtree, d, True)
        path = os.path.join(d, "foreign.exe")
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_fault_from_a_later_request(self):
        sim = Sim("--fault", "0:404@2,1:drop@3")
        try:
            url0, url1 = sim.domains[0] + DOWNLOAD, sim.domains[1] + DOWNLOAD
            self.assertEqual(curl("-I", url0)[1], 200)  # HEAD before the first GET
            self.assertEqual(curl(url0)[:2], (0, 200))
            self.assertEqual(curl(url0)[:2], (0, 404))
            self.assertEqual(curl(url0)[:2], (0, 404))
            self.assertEqual(curl(url1)[:3], (0, 200, SIZE))
            self.assertEqual(curl(url1)[:3], (0, 200, SIZE))
            self.assertEqual(curl(url1)[0], 18)
        finally:
            sim.stop()

    def test_stalled_connection_does_not_hold_up_the_stop(self):
        sim = Sim("--fault", "0:stall")
        try:
            holder = subprocess.Popen(["curl", "-s", "-o", "/dev/null", sim.domains[0] + DOWNLOAD])
            self.assertTrue(wait_until(lambda: any(r["fault"] == "stall" for r in sim.requests())))
            sim.proc.terminate()
            self.assertEqual(sim.proc.wait(10), 0)
            self.assertEqual(holder.wait(10), 18)  # the simulator closed the stalled transfer
        finally:
            sim.stop()


class Reports(unittest.TestCase):
    def test_report_and_activation_are_recorded(self):
        cases = [
            # name, flags, path, body, expected status
            ("report", (), REPORT, b'{"client_type":10,"install_path":"C:\\\\Program Files"}', 200),
            ("activation", (), ACTIVE, b'{ "aid": "901", "platform_id": 3 }', 200),
            ("report failing", ("--report-status", "500"), REPORT, b"{}", 500),
            ("activation failing", ("--active-status", "503"), ACTIVE, b"{}", 503),
            ("unknown path", (), "/api/other", b"x", 404),
        ]
        for name, flags, path, body, status in cases:
            with self.subTest(name):
                sim = Sim(*flags)
                try:
                    rc, code, _, _, _ = curl("-X", "POST", "--data-binary", body, "-H",
                                             "Content-Type:application/json;charset=UTF-8", "-H",
                                             "User-Agent: PC/Windows/1/2/Quorvane-PC/3/4/5", sim.api + path)
                    self.assertEqual((rc, code), (0, status))
                    rec = sim.requests()
                    self.assertEqual(len(rec), 1)
                    r = rec[0]
                    self.assertEqual((r["method"], r["path"], r["status"]), ("POST", path, status))
                    self.assertEqual(r["body"].encode(), body)
                    self.assertEqual(r["headers"]["Content-Type"], "application/json;charset=UTF-8")
                    self.assertEqual(r["headers"]["User-Agent"], "PC/Windows/1/2/Quorvane-PC/3/4/5")
                finally:
                    sim.stop()

    def test_body_that_is_not_utf8_is_kept_readable(self):
        sim = Sim()
        try:
            body = b'{"os":"caf\xe9","cn":"\xe4\xb8\xad"}'  # ANSI e-acute, then valid UTF-8
            self.assertEqual(curl("--data-binary", body, sim.api + REPORT)[1], 200)
            self.assertEqual(sim.requests()[0]["body"], '{"os":"caf\u00e9","cn":"\u4e2d"}')
        finally:
            sim.stop()


class Lifetime(unittest.TestCase):
    def test_stops_by_itself(self):
        cases = [
            ("maximum lifetime", ("--max-lifetime", "1"), None),
            ("end of input", ("--exit-on-stdin-eof",), "close stdin"),
            ("signal", (), "terminate"),
        ]
        for name, flags, action in cases:
            with self.subTest(name):
                sim = Sim(*flags, stdin=subprocess.PIPE)
                try:
                    if action == "close stdin":
                        sim.proc.stdin.close()
                    if action == "terminate":
                        sim.proc.terminate()
                    self.assertEqual(sim.proc.wait(15), 0)
                finally:
                    if sim.proc.stdin and not sim.proc.stdin.closed:
                        sim.proc.stdin.close()
                    sim.stop()

    def test_stops_when_its_caller_ends(self):
        with tempfile.TemporaryDirectory() as d:
            port_file = os.path.join(d, "ports.json")
            # The caller starts the simulator, waits for it to listen, prints its pid and ends.
            script = (f'"$0" --size 100 --port-file {port_file} </dev/null >/dev/null 2>&1 & '
                      f'while [ ! -f {port_file} ]; do sleep 0.02; done; echo $!')
            p = subprocess.run(["bash", "-c", script, SIM], capture_output=True, timeout=30)
            pid = int(p.stdout)
            self.assertTrue(wait_until(lambda: not pid_alive(pid), 10), "simulator outlived its caller")

    def test_bad_flags_are_refused(self):
        cases = [
            ("no content", []),
            ("file and size", ["--file", "/etc/hostname", "--size", "10"]),
            ("missing file", ["--file", "/nonexistent/file"]),
            ("unknown flag", ["--size", "10", "--bogus"]),
            ("fault of a missing domain", ["--size", "10", "--domains", "2", "--fault", "2:404"]),
            ("unknown fault", ["--size", "10", "--fault", "0:explode"]),
            ("bad rate", ["--size", "10", "--rate", "0:fast"]),
            ("bad directory index", ["--size", "10", "--directory-domains", "5"]),
            ("value missing", ["--size"]),
            ("missing script", ["--size", "10", "--pac-file", "/nonexistent/proxy.pac"]),
            ("foreign without its file", ["--size", "10", "--fault", "0:foreign"]),
            ("short without a length", ["--size", "10", "--fault", "0:short"]),
            ("foreign file missing", ["--size", "10", "--foreign-file", "/nonexistent/file"]),
        ]
        for name, args in cases:
            with self.subTest(name):
                p = subprocess.run([SIM, "--max-lifetime", "5", *args], capture_output=True, timeout=30)
                self.assertEqual(p.returncode, 2)
                self.assertIn(b"vendor_sim:", p.stderr)


if __name__ == "__main__":
    SIM = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
