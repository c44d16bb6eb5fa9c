#!/usr/bin/env python3
"""The updater tests' web server, on 127.0.0.1 and a port the system picks.

Paths: /desc.xml (UTF-16LE with BOM, CRLF and indentation; see description()), /malformed.xml, /4096 (a
description of exactly 4096 bytes), /empty, /404, /500, /chunked (no Content-Length),
/big (1 MiB), /slow (300 kB over 3 s), /stall (100 kB of 300 kB, then 5 s of silence), /half (announces 200000 bytes, sends 100000 and
closes), /setup.exe (the file named by --setup, else a few bytes).
Usage: UpdateServer.py PORTFILE [--setup PATH]
"""
import http.server
import os
import socketserver
import sys
import time
import urllib.parse

SETUP = None

def description(port, query):
    """The version description; the query may change the version, the download's
    path on this server, the news and the link."""
    args = urllib.parse.parse_qs(query, keep_blank_values=True)
    version = args.get("version", ["3.6.0.0"])[0]
    location = "http://127.0.0.1:%d%s" % (port, args.get("location", ["/setup.exe"])[0])
    whatsnew = args.get("whatsnew", ["Line1\\\\nLine2"])[0]
    link = args.get("link", ["http://127.0.0.1:%d/news" % port])[0]
    return ('<?xml version="1.0" encoding="UTF-16"?>\r\n<Update>\r\n'
            '  <CurrentVersion Version="%s" Location="%s"\r\n'
            '     WhatsNew="%s" LinkTo="%s"/>\r\n</Update>\r\n' % (version, location, whatsnew, link))


def utf16(text):
    return b"\xff\xfe" + text.encode("utf-16-le")


def description_of_4096_bytes():
    head = '<Update><CurrentVersion Version="3.6.0.0" WhatsNew="'
    tail = '"/></Update>'
    fill = 2048 - 1 - len(head) - len(tail)
    return utf16(head + "x" * fill + tail)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def send_body(self, code, body, ctype="application/octet-stream"):
        self.send_response(code)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def send_slowly(self, announced, parts, size, pause):
        self.send_response(200)
        self.send_header("Content-Length", str(announced))
        self.end_headers()
        for _ in range(parts):
            self.wfile.write(b"s" * size)
            self.wfile.flush()
            time.sleep(pause)
        self.close_connection = True

    def do_GET(self):
        try:
            self.answer(self.path)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def answer(self, target):
        p, _, query = target.partition("?")
        if p == "/desc.xml":
            self.send_body(200, utf16(description(self.server.server_address[1], query)), "text/xml")
        elif p == "/malformed.xml":
            self.send_body(200, utf16("<Update><CurrentVersion Version=\"3.6.0.0\"></Update>"), "text/xml")
        elif p == "/4096":
            self.send_body(200, description_of_4096_bytes(), "text/xml")
        elif p == "/empty":
            self.send_body(200, b"")
        elif p == "/404":
            self.send_body(404, b"<html>not found</html>", "text/html")
        elif p == "/500":
            self.send_body(500, b"<html>server error</html>", "text/html")
        elif p == "/chunked":
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            for part in (b"first part ", b"second part"):
                self.wfile.write(b"%x\r\n%s\r\n" % (len(part), part))
                self.wfile.flush()
                time.sleep(0.3)
            self.wfile.write(b"0\r\n\r\n")
        elif p == "/big":
            self.send_body(200, bytes(range(256)) * 4096)
        elif p == "/slow":
            self.send_slowly(300000, 30, 10000, 0.1)
        elif p == "/stall":
            self.send_slowly(300000, 1, 100000, 5)
        elif p == "/half":
            self.send_slowly(200000, 1, 100000, 0)
        elif p == "/setup.exe":
            if SETUP:
                with open(SETUP, "rb") as f:
                    self.send_body(200, f.read())
            else:
                self.send_body(200, b"MZ stand-in")
        else:
            self.send_body(404, b"no such path", "text/plain")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    global SETUP
    portfile = sys.argv[1]
    if "--setup" in sys.argv:
        SETUP = sys.argv[sys.argv.index("--setup") + 1]
    srv = Server(("127.0.0.1", 0), Handler)
    with open(portfile + ".tmp", "w") as f:
        f.write(str(srv.server_address[1]))
    # Renamed whole, so that a reader never sees half a number.
    os.rename(portfile + ".tmp", portfile)
    srv.serve_forever()


if __name__ == "__main__":
    main()
