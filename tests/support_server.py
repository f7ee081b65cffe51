#!/usr/bin/env python3
"""The tests' support server and archive checks (standard library only).

serve DIR MODE          listen on 127.0.0.1, port in DIR/ready; answer POSTs with MODE (200, 404,
                        500, "hang", or "stall": a 200 whose body never comes); decode each like the real server (form, subject, value,
                        archive, envelope) into DIR/log; stop when DIR/stop appears; DIR/exited last.
check ARCHIVE OUT [PW]  what zipfile and `unzip -t` make of ARCHIVE, into OUT.
make ARCHIVE OUT DESC   an archive of four entries written by zipfile (data descriptors if DESC is 1).
Lines are "key value"; backslash, CR and LF in values are escaped.
"""
import base64
import http.server
import io
import os
import socketserver
import subprocess
import sys
import threading
import time
import urllib.parse
import xml.etree.ElementTree as ET
import zipfile


def esc(text):
    return text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")


def write_atomically(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8", newline="") as f:
        f.write(text)
    os.replace(tmp, path)


def inverse_encoding(text):
    """The bytes behind the program's transport encoding (Base64, in its standard or its
    URL-safe alphabet, with or without padding)."""
    text = "".join(text.split())
    text += "=" * (-len(text) % 4)
    if "-" in text or "_" in text:
        return base64.urlsafe_b64decode(text)
    return base64.b64decode(text, validate=True)


def decode_form(body):
    """The form as the server reads it: pairs split at '&', name and value at the first '=',
    each percent-decoded with '+' standing for a blank."""
    fields = []
    for pair in body.split("&"):
        name, _, value = pair.partition("=")
        fields.append((urllib.parse.unquote_plus(name), urllib.parse.unquote_plus(value)))
    return fields


def describe_request(handler, body_bytes):
    out = ["request", "method " + handler.command, "path " + handler.path,
           "content-type " + esc(handler.headers.get("Content-Type", "")),
           "length %d" % len(body_bytes)]
    try:
        body = body_bytes.decode("ascii")
        out.append("body-ascii yes")
    except UnicodeDecodeError:
        body = body_bytes.decode("latin-1")
        out.append("body-ascii no")
    fields = decode_form(body)
    out.append("fields " + ",".join(name for name, _ in fields))
    form = dict(fields)
    out.append("subject " + esc(form.get("subject", "")))
    try:
        archive = inverse_encoding(form.get("value", ""))
        with zipfile.ZipFile(io.BytesIO(archive)) as z:
            out.append("entries " + ",".join(z.namelist()))
            out.append("testzip " + ("ok" if z.testzip() is None else "bad"))
            data = z.read(z.namelist()[0])
        out.append("envelope-ascii " + ("yes" if all(b < 128 for b in data) else "no"))
        out.append("envelope-head " + esc(data[:56].decode("latin-1")))
        root = ET.fromstring(data)
        out.append("root " + root.tag)
        for element in root:
            out.append("item %s %s" % (element.tag, esc(element.text or "")))
    except Exception as e:  # what the server could not read is part of what the test sees
        out.append("error " + esc("%s: %s" % (type(e).__name__, e)))
    out.append("end")
    return out


def serve(folder, mode):
    stop = threading.Event()
    log_lock = threading.Lock()
    log_lines = []

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0") or 0)
            body = self.rfile.read(length)
            with log_lock:
                log_lines.extend(describe_request(self, body))
                write_atomically(os.path.join(folder, "log"), "\n".join(log_lines) + "\n")
            if mode == "hang":
                stop.wait(600)
                self.close_connection = True
                return
            if mode == "stall":
                self.send_response(200)
                self.send_header("Content-Type", "text/plain")
                self.send_header("Content-Length", "1000000")
                self.end_headers()
                self.wfile.write(b"part of a body")
                self.wfile.flush()
                stop.wait(600)
                self.close_connection = True
                return
            status = int(mode)
            reply = b"done"
            self.send_response(status, {404: "Not Found", 500: "Internal Server Error"}.get(status))
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        do_GET = do_POST

    class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
        daemon_threads = True
        allow_reuse_address = True

    server = Server(("127.0.0.1", 0), Handler)
    server.timeout = 0.05
    write_atomically(os.path.join(folder, "ready"), "%d\n" % server.server_address[1])
    # A server whose test never asks it to stop goes by itself, well after any test's end.
    deadline = time.time() + 600
    try:
        while not os.path.exists(os.path.join(folder, "stop")) and time.time() < deadline:
            server.handle_request()
    finally:
        stop.set()
        server.server_close()
        write_atomically(os.path.join(folder, "exited"), "exited\n")


def check(archive, out_path, password=None):
    out = []
    try:
        with zipfile.ZipFile(archive) as z:
            if password:
                z.setpassword(password.encode("latin-1"))
            out.append("testzip " + ("ok" if z.testzip() is None else "bad"))
            out.append("comment " + esc(z.comment.decode("latin-1")))
            for info in z.infolist():
                data = z.read(info)
                out.append("entry %s %d %08x %d %s" % (esc(info.filename), len(data),
                                                      zipfile.crc32(data) & 0xFFFFFFFF, info.compress_type,
                                                      "enc" if info.flag_bits & 1 else "plain"))
    except Exception as e:
        out.append("error " + esc("%s: %s" % (type(e).__name__, e)))
    try:
        args = ["unzip", "-tq"] + (["-P", password] if password else []) + [archive]
        r = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
        out.append("unzip %d %s" % (r.returncode, esc(r.stdout.decode("latin-1").strip())))
    except Exception as e:
        out.append("unzip-error " + esc(str(e)))
    write_atomically(out_path, "\n".join(out) + "\n")


class Unseekable(io.RawIOBase):
    def __init__(self, f):
        self.f = f

    def writable(self):
        return True

    def write(self, b):
        return self.f.write(b)


def make(archive, out_path, descriptors):
    entries = [("a.txt", b"first line\r\nsecond line\r\n" * 50, zipfile.ZIP_DEFLATED),
               ("b.txt", b"to be deleted\n" * 20, zipfile.ZIP_DEFLATED),
               ("sub/c.bin", bytes(range(256)) * 4, zipfile.ZIP_STORED),
               ("sub/d.txt", b"kept too\n", zipfile.ZIP_DEFLATED)]
    with open(archive + ".part", "wb") as f:
        target = Unseekable(f) if descriptors else f
        with zipfile.ZipFile(target, "w") as z:
            for name, data, method in entries:
                z.writestr(name, data, compress_type=method)
            z.comment = b"made by another tool"
    os.replace(archive + ".part", archive)
    write_atomically(out_path, "made\n")


if __name__ == "__main__":
    if sys.argv[1] == "serve":
        serve(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "check":
        check(sys.argv[2], sys.argv[3], sys.argv[4] if len(sys.argv) > 4 else None)
    elif sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3], sys.argv[4] == "1")
