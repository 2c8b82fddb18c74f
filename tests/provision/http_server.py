#!/usr/bin/env python3
"""HTTP server for the download tests, on 127.0.0.1 only.

Writes its port to --port-file once it listens and ends by itself after
--lifetime seconds (or on GET /quit), so a test run that dies cannot leave it
behind. Every response body is the byte pattern i % 251 (i from 0), which the
tests rebuild to compare.

  /file?size=N                 200, Content-Length N, the pattern
  /nolength?size=N             200, no Content-Length, the pattern, then close
  /status?code=C               status C with a small HTML body and its length
  /cut?size=N&after=M          announces N bytes, sends M, then drops the connection
  /slow?size=N&chunk=C&delay=D announces N, sends C bytes every D milliseconds
                               (also under /slow/NAME, for a name a client expects)
  /log                         the request log: path, agent, bytes sent, complete
                               (also appended to --log-file)
"""
import argparse
import os
import socket
import ssl
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

LOG = []
LOG_LOCK = threading.Lock()
LOG_FILE = None


def pattern(start, count):
    return bytes((i % 251) for i in range(start, start + count))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, fmt, *args):  # quiet: the log is served on /log
        pass

    def record(self, sent, complete):
        line = "%s\t%s\t%d\t%s" % (self.path, self.headers.get("User-Agent", ""), sent,
                                   "complete" if complete else "incomplete")
        with LOG_LOCK:
            LOG.append(line)
            if LOG_FILE:
                with open(LOG_FILE, "a") as f:
                    f.write(line + "\n")

    def send_body(self, size, chunk=65536, delay=0.0, stop_after=None):
        sent = 0
        limit = size if stop_after is None else min(size, stop_after)
        try:
            while sent < limit:
                n = min(chunk, limit - sent)
                self.wfile.write(pattern(sent, n))
                self.wfile.flush()
                sent += n
                if delay and sent < limit:
                    time.sleep(delay)
        except (BrokenPipeError, ConnectionResetError):
            pass
        return sent

    def do_GET(self):
        url = urlsplit(self.path)
        query = {k: v[0] for k, v in parse_qs(url.query).items()}
        size = int(query.get("size", "0"))
        if url.path.startswith("/slow/"):
            url = url._replace(path="/slow")
        if url.path == "/file" or url.path == "/slow":
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(size))
            self.end_headers()
            if url.path == "/file":
                sent = self.send_body(size)
            else:
                sent = self.send_body(size, int(query.get("chunk", "4096")), int(query.get("delay", "100")) / 1000.0)
            self.record(sent, sent == size)
        elif url.path == "/nolength":
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.end_headers()
            sent = self.send_body(size)
            self.record(sent, True)
        elif url.path == "/status":
            code = int(query.get("code", "404"))
            body = b"<html><body>no runtime here</body></html>"
            self.send_response(code)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            self.record(len(body), True)
        elif url.path == "/cut":
            after = int(query.get("after", "0"))
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(size))
            self.end_headers()
            sent = self.send_body(size, stop_after=after)
            self.record(sent, False)
            self.wfile.flush()
            # Drop the connection without a proper end.
            self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True
        elif url.path == "/log":
            with LOG_LOCK:
                body = ("\n".join(LOG) + "\n").encode()
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif url.path == "/quit":
            self.send_response(200)
            self.send_header("Content-Length", "0")
            self.end_headers()
            threading.Thread(target=self.server.shutdown, daemon=True).start()
        else:
            self.send_error(404)


class TlsServer(ThreadingHTTPServer):
    """The same handler behind TLS, with a certificate nobody trusts. Each
    handshake is logged: "tls-handshake" when it completed, "tls-refused" with
    the reason when the client broke it off. A client that checks the
    certificate either refuses it in the handshake or drops the connection
    right after it; either way no request line follows."""

    context = None

    @staticmethod
    def note(line):
        with LOG_LOCK:
            LOG.append(line)
            if LOG_FILE:
                with open(LOG_FILE, "a") as f:
                    f.write(line + "\n")

    def get_request(self):
        sock, address = self.socket.accept()
        try:
            secured = self.context.wrap_socket(sock, server_side=True)
        except (ssl.SSLError, OSError) as error:
            self.note("tls-refused\t%s" % (getattr(error, "reason", None) or error))
            sock.close()
            raise
        self.note("tls-handshake")
        return secured, address


def start_tls(port_file, cert, key, lifetime):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    TlsServer.context = context
    server = TlsServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    timer = threading.Timer(lifetime, server.shutdown)
    timer.daemon = True
    timer.start()
    temporary = port_file + ".tmp"
    with open(temporary, "w") as f:
        f.write("%d\n" % server.server_address[1])
    os.replace(temporary, port_file)


def main():
    # Descriptors inherited from the caller (a lock held around the test run,
    # ctest's pipes) must not live as long as the server.
    os.closerange(3, 65536)
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--pid-file")
    parser.add_argument("--lifetime", type=float, default=900.0)
    parser.add_argument("--log-file", help="request log, one line per request, appended")
    parser.add_argument("--tls-port-file", help="also serve over TLS; its port is written here")
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    args = parser.parse_args()
    global LOG_FILE
    LOG_FILE = args.log_file
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    timer = threading.Timer(args.lifetime, server.shutdown)
    timer.daemon = True
    timer.start()
    if args.tls_port_file:
        start_tls(args.tls_port_file, args.tls_cert, args.tls_key, args.lifetime)
    if args.pid_file:
        with open(args.pid_file, "w") as f:
            f.write("%d\n" % os.getpid())
    temporary = args.port_file + ".tmp"
    with open(temporary, "w") as f:
        f.write("%d\n" % server.server_address[1])
    os.replace(temporary, args.port_file)
    try:
        server.serve_forever()
    finally:
        server.server_close()
        try:
            os.remove(args.port_file)
        except OSError:
            pass


if __name__ == "__main__":
    main()
