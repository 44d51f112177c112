#!/usr/bin/env python3
"""The reports of the Windows build as a recording HTTP server on 127.0.0.1
receives them: run report_probe.exe under Wine against the server, once with
200 answers (exact bodies and headers) and once with 500 answers (one debugger
line per report).

    report_wine_test.py <wine-run> <report_probe.exe>
"""
import http.server
import os
import subprocess
import sys
import threading

wine_run, probe = sys.argv[1], sys.argv[2]
records = []
status = [200]


class Recorder(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        # Header values arrive decoded as Latin-1; encoding back gives the bytes.
        records.append({
            "path": self.path,
            "content_type": self.headers.get("Content-Type", ""),
            "user_agent": self.headers.get("User-Agent", "").encode("latin-1"),
            "body": body,
        })
        self.send_response(status[0])
        self.send_header("Content-Length", "2")
        self.end_headers()
        self.wfile.write(b"{}")

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Recorder)
threading.Thread(target=server.serve_forever, daemon=True).start()
url = "http://127.0.0.1:%d" % server.server_address[1]
env = dict(os.environ, QV_REPORT_URL=url, QV_CLIENT_SERVICE_URL=url, WINEDEBUG="-all,+debugstr")

failures = []


def check(name, got, want):
    if got != want:
        failures.append("%s:\n  got  %r\n  want %r" % (name, got, want))


def run():
    records.clear()
    done = subprocess.run([wine_run, probe], env=env, capture_output=True, timeout=240)
    lines = done.stdout.decode("cp1252").replace("\r", "").split("\n")
    debug = [l for l in done.stderr.decode("latin-1").split("\n") if "OutputDebugString" in l]
    return lines, debug


# Answers 200: exact requests.
lines, debug = run()
device_id, os_text, cpu, build = lines[0], lines[1], lines[2], lines[3]
by_path = {r["path"]: r for r in records}
check("requests", sorted(by_path), ["/api/common_bll/v1/client/active", "/api/data_report/client/update_pc_module"])
report = by_path.get("/api/data_report/client/update_pc_module")
if report:
    check("report content type", report["content_type"], "application/json;charset=UTF-8")
    check("report user agent", report["user_agent"],
          ("PC/Windows/%s/5/Quorvane-PC/3.0.0/%s/English" % (os_text, device_id)).encode())
    expected = (
        '{"client_type":10,"client_version":"3.0.0.' + build + '","current_channel_id":"5",'
        '"pre_channel_id":"10","action_type":"install","packet_type":"stub",'
        '"install_path":"C:\\\\\u00dcbung \\"x\\"","third_type":"t\u00e9",'
        '"device_info":{"sn":"","mac":"' + device_id + '","os":"' + os_text + '","cpu":"' + cpu +
        '","device_model":""},"error_detail":{"http_code":2000,"error_module":"step\\tfailed"},'
        '"extra_info":{"attempt_id":"00112233445566778899AABBCCDDEEFF","cdn_attempts":[]}}')
    check("report body", report["body"], expected.encode("utf-8"))
activation = by_path.get("/api/common_bll/v1/client/active")
if activation:
    check("activation content type", activation["content_type"], "application/json;charset=UTF-8")
    # The language name goes out in the ANSI code page (1252 under Wine).
    check("activation user agent", activation["user_agent"],
          ("PC/Windows/%s/12/Quorvane-PC/3.0.0/%s/Fran\u00e7ais" % (os_text, device_id)).encode("cp1252"))
    check("activation body", activation["body"], b'{ "aid": "9\\"01", "platform_id": 3 }')
check("debugger lines with 200", debug, [])

# Answers 500: one line per report, nothing else.
status[0] = 500
lines, debug = run()
check("requests with 500", len(records), 2)
check("debugger lines with 500", len(debug), 2)
for line in debug:
    if "upload install information failed result code 500" not in line:
        failures.append("unexpected debugger line: " + line)

server.shutdown()
if failures:
    print("\n".join(failures))
    sys.exit(1)
print("reports as recorded: OK")
