#!/usr/bin/env python3
"""Stand-in for the maker's servers and the HTTP-DNS service, for tests and demos.

It is a test tool and never part of the installer. It listens on loopback only,
with plain HTTP and HTTPS (a self-signed certificate made with openssl at start),
answers every request the installer makes, and appends each request it receives
as one JSON line to a journal, so that tests can assert on the exact wire texts.

State folder (--state-dir):
  pid            the server's process id (the cleanup stops it by this id)
  ports.json     {"http": p, "https": p, "http_alt": p, "https_alt": p}
  journal.jsonl  one JSON object per request received
  uploads/       files of multipart uploads
  cert.pem, key.pem, stand-in.log

Control interface (plain HTTP listener only, never journaled):
  POST /_control/reset     forget answers and HTTP-DNS settings, empty the journal
  POST /_control/answer    {"path": "/v1/x", "listener": "https", "method": "POST",
                            "times": 1, "status": 200, "headers": [["Name", "v"]],
                            "body": "...", "fault": "...", "delay": 0.5, "raw": "..."}
                           faults: refuse, code_nonzero, code_string, slow, truncated,
                           non_json, empty, huge, no_header_end
  POST /_control/httpdns   {"uid": "...", "secret": "...", "ak": "...",
                            "hosts": {"name": ["1.2.3.4", ...]}}
  GET  /_control/journal   the journal file as it is

Usage:
  maker_stand_in.py --state-dir DIR [--lifetime SECONDS] [--first-port N] [--daemon]
  maker_stand_in.py --state-dir DIR --stop

Without --first-port the listeners take free ports; with it they take N to N+3
(http, https, http_alt, https_alt), as a product file that names fixed ports needs.
  maker_stand_in.py --stored-credential account|secret|access_key VALUE
"""

import argparse
import base64
import gzip
import hashlib
import json
import os
import signal
import socket
import socketserver
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

LOOPBACK = "127.0.0.1"
# The account the installer carries by default (in its stored form in the
# deployment values); the signature of a query is checked against these.
DEFAULT_HTTPDNS = {
    "uid": "139201",
    "secret": "Qiv-HttpDns-Placeholder-Secret01",
    "ak": "Qiv-HttpDns-AccessKey-01",
    "hosts": {"cdn.stand-in.test": ["127.0.0.2", "127.0.0.3"]},
}
# Offset and inserted run of the stored form of each credential.
STORED_FORMS = {"account": (3, "x"), "secret": (11, "Zq7e"), "access_key": (6, "Kw3Lm")}
APP_SECRET = "Hv7Lq2ZsWm8Rt4Xn6Bc1Yd9Kf3Ge5Pj0Ua"
MAX_BODY = 64 * 1024 * 1024
HEAD_LIMIT = 256 * 1024

RUNTIME_XML = (
    '<?xml version="1.0" encoding="utf-8"?>\r\n'
    "<kxrp><downloader><runtime>"
    "<name>Vantrel</name><process_name>Vantrel.exe</process_name>"
    "<download_url>http://127.0.0.2/pkg/Vantrel_setup.exe</download_url>"
    "<md5>00000000000000000000000000000000</md5><filesize>0</filesize>"
    "</runtime></downloader></kxrp>"
)

REASONS = {200: "OK", 204: "No Content", 206: "Partial Content", 301: "Moved Permanently", 302: "Found",
           303: "See Other", 307: "Temporary Redirect", 400: "Bad Request", 403: "Forbidden",
           404: "Not Found", 500: "Internal Server Error", 503: "Service Unavailable"}


def compact(value):
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False)


class State:
    def __init__(self, folder):
        self.folder = folder
        self.lock = threading.Lock()
        self.answers = []
        self.httpdns = json.loads(json.dumps(DEFAULT_HTTPDNS))
        self.seq = 0
        self.tokens = 0
        self.stopping = threading.Event()
        self.journal_path = os.path.join(folder, "journal.jsonl")
        self.uploads = os.path.join(folder, "uploads")
        os.makedirs(self.uploads, exist_ok=True)
        open(self.journal_path, "wb").close()

    def reset(self):
        with self.lock:
            self.answers = []
            self.httpdns = json.loads(json.dumps(DEFAULT_HTTPDNS))
            self.tokens = 0
            open(self.journal_path, "wb").close()

    def next_seq(self):
        with self.lock:
            self.seq += 1
            return self.seq

    def journal(self, entry):
        line = (compact(entry) + "\n").encode("utf-8")
        with self.lock:
            with open(self.journal_path, "ab") as out:
                out.write(line)
                out.flush()

    def take_answer(self, listener, method, path):
        with self.lock:
            for answer in reversed(self.answers):
                if answer.get("path") != path:
                    continue
                if answer.get("listener") and answer["listener"] != listener:
                    continue
                if answer.get("method") and answer["method"] != method:
                    continue
                if "times" in answer:
                    if answer["times"] <= 0:
                        continue
                    answer["times"] -= 1
                return dict(answer)
        return None


def read_head(stream):
    """The raw request head up to and including the blank line, or None."""
    head = b""
    while not head.endswith(b"\r\n\r\n") and not head.endswith(b"\n\n"):
        line = stream.readline(HEAD_LIMIT)
        if not line:
            return head or None
        head += line
        if len(head) > HEAD_LIMIT:
            return head
        if head in (b"\r\n", b"\n"):
            head = b""
    return head


def read_chunked(stream):
    body = b""
    while True:
        size_line = stream.readline(1024)
        if not size_line:
            return body
        size = int(size_line.split(b";")[0].strip() or b"0", 16)
        if size == 0:
            stream.readline(1024)
            return body
        body += stream.read(size)
        stream.readline(1024)
        if len(body) > MAX_BODY:
            return body


def decode_analytics(body):
    fields = {}
    for pair in body.decode("latin-1").split("&"):
        name, _, value = pair.partition("=")
        fields[name] = value
    encoded = urllib.parse.unquote(fields.get("data_list", ""))
    data = base64.b64decode(encoded)
    if fields.get("gzip") == "1":
        data = gzip.decompress(data)
    return {"gzip": fields.get("gzip"), "data_list": json.loads(data.decode("utf-8"))}


def parse_multipart(content_type, body, folder, seq):
    boundary = None
    for piece in content_type.split(";"):
        name, _, value = piece.strip().partition("=")
        if name.lower() == "boundary":
            boundary = value.strip('"')
    if not boundary:
        return {"error": "no boundary"}
    parts = []
    delimiter = b"--" + boundary.encode("latin-1")
    for chunk in body.split(delimiter)[1:]:
        if chunk.startswith(b"--"):
            break
        chunk = chunk[2:] if chunk.startswith(b"\r\n") else chunk
        head, _, content = chunk.partition(b"\r\n\r\n")
        if content.endswith(b"\r\n"):
            content = content[:-2]
        part = {"headers": [], "size": len(content)}
        for line in head.decode("latin-1").split("\r\n"):
            if ":" in line:
                hname, _, hvalue = line.partition(":")
                part["headers"].append([hname.strip(), hvalue.strip()])
                if hname.strip().lower() == "content-disposition":
                    for item in hvalue.split(";"):
                        key, _, val = item.strip().partition("=")
                        if key in ("name", "filename"):
                            part[key] = val.strip('"')
        if "filename" in part:
            safe = os.path.basename(part["filename"].replace("\\", "/")) or "unnamed"
            saved = os.path.join(folder, "%d_%s" % (seq, safe))
            with open(saved, "wb") as out:
                out.write(content)
            part["saved"] = saved
        else:
            part["value"] = content.decode("utf-8", "replace")
        parts.append(part)
    return {"parts": parts}


class Handler(socketserver.StreamRequestHandler):
    timeout = 30

    def setup(self):
        if self.server.tls:
            try:
                self.request.settimeout(10)
                self.request.do_handshake()
            except (ssl.SSLError, OSError):
                self.request.close()
                raise
        super().setup()

    def handle(self):
        try:
            self.serve_one()
        except (ConnectionError, ssl.SSLError, socket.timeout, OSError):
            pass

    def send(self, data):
        self.wfile.write(data)
        self.wfile.flush()

    def reply(self, status, body, content_type="application/json", headers=None, head_only=False):
        if isinstance(body, str):
            body = body.encode("utf-8")
        lines = ["HTTP/1.1 %d %s" % (status, REASONS.get(status, "Status"))]
        names = set()
        for name, value in headers or []:
            lines.append("%s: %s" % (name, value))
            names.add(name.lower())
        if "content-type" not in names:
            lines.append("Content-Type: " + content_type)
        if "content-length" not in names:
            lines.append("Content-Length: %d" % len(body))
        lines.append("Connection: close")
        self.send(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + (b"" if head_only else body))

    def serve_one(self):
        state = self.server.state
        head = read_head(self.rfile)
        if not head:
            return
        text = head.decode("latin-1")
        request_line, _, rest = text.partition("\r\n")
        parts = request_line.split(" ")
        if len(parts) != 3:
            self.reply(400, compact({"code": 400, "msg": "bad request line"}))
            return
        method, target, version = parts
        headers = []
        for line in rest.split("\r\n"):
            if not line:
                continue
            name, _, value = line.partition(":")
            headers.append([name, value.strip()])
        lookup = {name.lower(): value for name, value in reversed(headers)}
        if "chunked" in lookup.get("transfer-encoding", "").lower():
            body = read_chunked(self.rfile)
        else:
            length = int(lookup.get("content-length", "0") or "0")
            body = self.rfile.read(min(length, MAX_BODY)) if length > 0 else b""
        split = urllib.parse.urlsplit(target)
        path, query = split.path, split.query

        if path.startswith("/_control/"):
            if self.server.name != "http":
                self.reply(404, compact({"code": 404}))
            else:
                self.control(path, body)
            return

        seq = state.next_seq()
        entry = {"seq": seq, "time": time.time(), "listener": self.server.name, "method": method,
                 "target": target, "path": path, "query": query, "version": version, "head": text,
                 "headers": headers, "body_b64": base64.b64encode(body).decode("ascii"),
                 "body": body.decode("utf-8", "replace")}
        answer = state.take_answer(self.server.name, method, path)
        try:
            decoded, default = self.route(method, path, query, lookup, body, seq)
        except Exception as error:  # a body the route cannot read is still journaled
            decoded, default = {"error": str(error)}, (400, compact({"code": 400, "msg": str(error)}), "application/json")
        if decoded is not None:
            entry["decoded"] = decoded
        state.journal(entry)
        self.answer(answer, default, method == "HEAD")

    def answer(self, answer, default, head_only):
        state = self.server.state
        status, body, content_type = default
        headers = []
        if answer:
            if answer.get("delay") or answer.get("fault") == "slow":
                if state.stopping.wait(float(answer.get("delay", 10))):
                    return
            fault = answer.get("fault")
            if "raw" in answer:
                self.send(answer["raw"].encode("latin-1"))
                return
            if fault == "refuse":
                return
            if fault == "no_header_end":
                self.send(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n")
                return
            status = answer.get("status", status)
            headers = answer.get("headers", [])
            content_type = answer.get("content_type", content_type)
            if fault == "code_nonzero":
                body = compact({"code": 1001, "msg": "stand-in fault"})
            elif fault == "code_string":
                body = compact({"code": "0", "msg": "stand-in fault", "data": {"access_token": "string-code"}})
            elif fault == "non_json":
                body, content_type = "<html><body>stand-in</body></html>", "text/html"
            elif fault == "empty":
                body = ""
            elif fault == "huge":
                body = "x" * int(answer.get("size", 300000))
                content_type = "text/plain"
            elif "body" in answer:
                body = answer["body"]
            if fault == "truncated":
                data = body.encode("utf-8") if isinstance(body, str) else body
                self.reply(status, data[: len(data) // 2], content_type,
                           headers + [["Content-Length", str(len(data) + 100)]], head_only)
                return
        self.reply(status, body, content_type, headers, head_only)

    def route(self, method, path, query, lookup, body, seq):
        """(decoded request or None, (status, body, content type)) of the default answer."""
        state = self.server.state
        ok = compact({"code": 0, "msg": "ok"})
        if "/xml/" in path and path.endswith(".xml"):
            return None, (200, RUNTIME_XML, "text/xml")
        if path.endswith("rest/v2/downloader/runtime/") or path.endswith("rest/v2/downloader/runtime"):
            return None, (200, RUNTIME_XML, "text/xml")
        if path == "/api/v1/prodweb/trk":
            return None, (200, compact({"code": 0, "data": "TID-stand-in"}), "application/json")
        if path == "/v3/user/client/token":
            request = json.loads(body.decode("utf-8"))
            if request.get("app_secret") != APP_SECRET or request.get("grant_type") != "client_credentials":
                return request, (200, compact({"code": 40101, "msg": "invalid client"}), "application/json")
            with state.lock:
                state.tokens += 1
                token = "stand-in-token-%d" % state.tokens
            return request, (200, compact({"code": 0, "data": {"access_token": token, "expires_in": 7200}}),
                             "application/json")
        if path in ("/v1/product/series", "/v1/product/logs/whitelist", "/v1/product/logs/report"):
            return json.loads(body.decode("utf-8")), (200, ok, "application/json")
        if path == "/v1/support/tickets":
            return json.loads(body.decode("utf-8")), (200, compact({"code": 0, "data": {"ticket_id": seq}}),
                                                      "application/json")
        if path in ("/v1/product/downloader/upload-log-file", "/v1/crm/ticket/file/upload"):
            decoded = parse_multipart(lookup.get("content-type", ""), body, state.uploads, seq)
            files = [p for p in decoded.get("parts", []) if "filename" in p]
            if not files:
                return decoded, (200, compact({"code": 40001, "msg": "no file"}), "application/json")
            data = {"file_id": "file-%d" % seq, "name": os.path.basename(files[0]["filename"]),
                    "size": files[0]["size"]}
            return decoded, (200, compact({"code": 0, "data": data}), "application/json")
        if path.endswith("rest/v2/downloader/track"):
            return json.loads(body.decode("latin-1")), (200, ok, "application/json")
        if path == "/sa":
            return decode_analytics(body), (200, "ok", "text/plain")
        if path == "/resolve":
            return self.resolve(query)
        return None, (404, compact({"code": 404, "msg": "no such path"}), "application/json")

    def resolve(self, query):
        state = self.server.state
        fields = dict(urllib.parse.parse_qsl(query, keep_blank_values=True))
        with state.lock:
            config = json.loads(json.dumps(state.httpdns))
        expected = hashlib.sha256((config["uid"] + config["secret"] + fields.get("ts", "") + fields.get("name", "")
                                   + config["ak"]).encode("latin-1")).hexdigest()
        signed = (fields.get("uid") == config["uid"] and fields.get("ak") == config["ak"]
                  and fields.get("key") == expected)
        decoded = {"fields": fields, "signature_ok": signed}
        if not signed:
            return decoded, (403, compact({"code": "InvalidSignature"}), "application/json")
        addresses = config["hosts"].get(fields.get("name", ""), [])
        return decoded, (200, compact(addresses), "application/json")

    def control(self, path, body):
        state = self.server.state
        if path == "/_control/reset":
            state.reset()
        elif path == "/_control/answer":
            answer = json.loads(body.decode("utf-8"))
            with state.lock:
                state.answers.append(answer)
        elif path == "/_control/httpdns":
            settings = json.loads(body.decode("utf-8"))
            with state.lock:
                state.httpdns.update(settings)
        elif path == "/_control/journal":
            with state.lock:
                with open(state.journal_path, "rb") as journal:
                    data = journal.read()
            self.reply(200, data, "application/x-ndjson")
            return
        elif path != "/_control/ping":
            self.reply(404, compact({"code": 404}))
            return
        self.reply(200, compact({"code": 0}))


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, name, state, context, port=0):
        self.name = name
        self.state = state
        self.tls = context is not None
        self.context = context
        super().__init__((LOOPBACK, port), Handler)

    def get_request(self):
        connection, address = self.socket.accept()
        if self.context:
            connection = self.context.wrap_socket(connection, server_side=True, do_handshake_on_connect=False)
        return connection, address


def make_certificate(folder):
    cert = os.path.join(folder, "cert.pem")
    key = os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", "/CN=127.0.0.1"], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


def write_atomically(path, text):
    temporary = path + ".tmp"
    with open(temporary, "w") as out:
        out.write(text)
    os.replace(temporary, path)


LISTENERS = (("http", False), ("https", True), ("http_alt", False), ("https_alt", True))


def serve(folder, lifetime, first_port=0):
    os.makedirs(folder, exist_ok=True)
    state = State(folder)
    context = make_certificate(folder)
    servers = [Server(name, state, context if tls else None, first_port + i if first_port else 0)
               for i, (name, tls) in enumerate(LISTENERS)]
    for server in servers:
        threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()

    def stop(*_):
        state.stopping.set()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    write_atomically(os.path.join(folder, "pid"), str(os.getpid()))
    write_atomically(os.path.join(folder, "ports.json"),
                     compact({s.name: s.server_address[1] for s in servers}))
    # Bounded: a run that never calls the cleanup must not leave it behind.
    state.stopping.wait(lifetime)
    for server in servers:
        server.shutdown()
        server.server_close()
    for name in ("pid", "ports.json"):
        try:
            os.remove(os.path.join(folder, name))
        except FileNotFoundError:
            pass


def is_our_server(pid, folder):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as cmdline:
            words = cmdline.read().split(b"\0")
    except OSError:
        return False
    if not any(w.endswith(b"maker_stand_in.py") for w in words) or b"--state-dir" not in words:
        return False
    named = words.index(b"--state-dir") + 1
    if named >= len(words):
        return False
    try:
        cwd = os.readlink("/proc/%d/cwd" % pid)
    except OSError:
        return False
    return os.path.abspath(os.path.join(cwd, os.fsdecode(words[named]))) == os.path.abspath(folder)


def stop_server(folder):
    try:
        with open(os.path.join(folder, "pid")) as pid_file:
            pid = int(pid_file.read().strip())
    except (OSError, ValueError):
        return 0
    if not is_our_server(pid, folder):
        return 0
    os.kill(pid, signal.SIGTERM)
    deadline = time.time() + 10
    while time.time() < deadline and is_our_server(pid, folder):
        time.sleep(0.05)
    if is_our_server(pid, folder):
        os.kill(pid, signal.SIGKILL)
    return 0


def start_daemon(folder, lifetime, first_port=0):
    folder = os.path.abspath(folder)
    os.makedirs(folder, exist_ok=True)
    stop_server(folder)
    for name in ("pid", "ports.json"):
        try:
            os.remove(os.path.join(folder, name))
        except FileNotFoundError:
            pass
    log = open(os.path.join(folder, "stand-in.log"), "ab")
    child = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--state-dir", folder,
                              "--lifetime", str(lifetime), "--first-port", str(first_port)],
                             stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    ports = os.path.join(folder, "ports.json")
    deadline = time.time() + 30
    while time.time() < deadline:
        if os.path.exists(ports):
            with open(ports) as text:
                print(text.read())
            return 0
        if child.poll() is not None:
            print("stand-in ended at start, see %s" % os.path.join(folder, "stand-in.log"), file=sys.stderr)
            return 1
        time.sleep(0.05)
    child.kill()
    print("stand-in did not start", file=sys.stderr)
    return 1


def stored_credential(kind, value):
    offset, run = STORED_FORMS[kind]
    encoded = base64.b64encode(value.encode("latin-1")).decode("ascii")
    return encoded[:offset] + run + encoded[offset:]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--state-dir")
    parser.add_argument("--lifetime", type=float, default=900.0, help="seconds before it stops by itself")
    parser.add_argument("--first-port", type=int, default=0, help="fixed ports N..N+3 instead of free ones")
    parser.add_argument("--daemon", action="store_true", help="start in the background and return")
    parser.add_argument("--stop", action="store_true", help="stop the server of the state folder")
    parser.add_argument("--stored-credential", nargs=2, metavar=("KIND", "VALUE"))
    args = parser.parse_args()
    if args.stored_credential:
        print(stored_credential(*args.stored_credential))
        return 0
    if not args.state_dir:
        parser.error("--state-dir is required")
    if args.stop:
        return stop_server(os.path.abspath(args.state_dir))
    if args.daemon:
        return start_daemon(args.state_dir, args.lifetime, args.first_port)
    serve(os.path.abspath(args.state_dir), args.lifetime, args.first_port)
    return 0


if __name__ == "__main__":
    sys.exit(main())
