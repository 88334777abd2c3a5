#!/usr/bin/env python3
"""A radio server that misbehaves on purpose, one behaviour a path, on a free loopback port.

Prints its port on the first line of stdout. Commands come one a line on stdin ("title TEXT", "drop")
or as GET /control/title?text=TEXT and /control/drop, each answered "ok"; the end of stdin ends it.
"""

import argparse
import os
import select
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

RATE = 16000  # bytes a second of 128 kbit/s MP3
BURST = 2 * RATE  # sent at once, as radio servers fill a new listener's buffer
CHUNK = RATE // 10
METAINT = 16000
LATIN1_TITLE = "Beyonc\xe9 - D\xe9j\xe0 vu".encode("latin-1")
# The longest title whose StreamTitle='...'; fills the largest block a length byte can give.
HUGE_TITLE = b"h" * (255 * 16 - len(b"StreamTitle='';"))


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.title = b"Fault Artist - Fault Song"
        self.connections = set()
        self.down_until = 0.0

    def set_title(self, text):
        with self.lock:
            self.title = text.encode("utf-8")

    def current_title(self):
        with self.lock:
            return self.title

    def drop_streams(self):
        # Shutting a socket down ends its stream at once, whichever thread is writing to it. Under the
        # lock, since a stream leaves the set before its socket closes and its descriptor can be reused.
        with self.lock:
            for connection in self.connections:
                try:
                    socket.fromfd(connection.fileno(), socket.AF_INET, socket.SOCK_STREAM).shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass

    def apply(self, command):
        name, _, argument = command.partition(" ")
        if name == "title":
            self.set_title(argument)
        elif name == "drop":
            self.drop_streams()
        else:
            return False
        return True


def tone_mp3():
    # Bare MP3 frames, no ID3 or Xing header, so that the loop joins them seamlessly.
    return subprocess.run(
        ["ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=5",
         "-ac", "2", "-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0", "-id3v2_version", "0",
         "-map_metadata", "-1", "-f", "mp3", "-"],
        check=True, stdout=subprocess.PIPE).stdout


class Pacer:
    """Writes at RATE after the first BURST bytes, as a live source does."""

    def __init__(self, connection):
        self.connection = connection
        self.start = time.monotonic()
        self.sent = 0

    def send(self, data):
        self.connection.sendall(data)
        self.sent += len(data)
        ahead = (self.sent - BURST) / RATE - (time.monotonic() - self.start)
        if ahead > 0:
            time.sleep(ahead)

    def pause(self, seconds):
        time.sleep(seconds)
        self.start += seconds


def metadata_block(title):
    if title is None:
        return b"\0"
    text = b"StreamTitle='" + title[:len(HUGE_TITLE)] + b"';"
    units = -(-len(text) // 16)
    return bytes([units]) + text.ljust(units * 16, b"\0")


class Stream:
    """Audio bytes with ICY metadata between them when the listener asked for it."""

    def __init__(self, mp3, pacer, icy, title, every_block=False):
        self.source = audio(mp3)
        self.pacer = pacer
        self.icy = icy
        self.title = title
        self.every_block = every_block
        self.last_title = None
        self.until_metadata = METAINT
        self.audio_sent = 0

    def send(self, data):
        while data:
            # A block goes before the audio after a full interval, so that a stream can end at its edge.
            if self.icy and self.until_metadata == 0:
                title = self.title()
                # Servers send a title when it changes and an empty block between.
                fresh = self.every_block or title != self.last_title
                self.last_title = title
                self.pacer.send(metadata_block(title if fresh else None))
                self.until_metadata = METAINT
            part = data[:self.until_metadata] if self.icy else data
            self.pacer.send(part)
            self.audio_sent += len(part)
            self.until_metadata -= len(part)
            data = data[len(part):]


def audio(mp3):
    while True:
        for start in range(0, len(mp3), CHUNK):
            yield mp3[start:start + CHUNK]


class Handler:
    def __init__(self, server, connection):
        self.server = server
        self.state = server.state
        self.connection = connection

    def run(self):
        try:
            self.connection.settimeout(10)
            if self.server.tls:
                self.connection = self.server.tls.wrap_socket(self.connection, server_side=True)
            request = self.read_request()
            # A listener may stop reading for as long as it likes, as a paused player does.
            self.connection.settimeout(None)
            if request:
                self.respond(*request)
        except (OSError, ValueError):
            pass
        finally:
            with self.state.lock:
                self.state.connections.discard(self.connection)
            try:
                self.connection.close()
            except OSError:
                pass

    def read_request(self):
        data = b""
        while b"\r\n\r\n" not in data:
            more = self.connection.recv(4096)
            if not more or len(data) > 65536:
                return None
            data += more
        head, _, body = data.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        method, target, _ = lines[0].split(" ", 2)
        headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(":")
            headers[name.strip().lower()] = value.strip()
        length = int(headers.get("content-length", "0"))
        while len(body) < length:
            more = self.connection.recv(4096)
            if not more:
                return None
            body += more
        url = urllib.parse.urlsplit(target)
        query = {name: values[-1] for name, values in urllib.parse.parse_qs(url.query).items()}
        return method, url.path, query, headers

    def send(self, data):
        self.connection.sendall(data)

    def head(self, status, headers):
        self.send(("HTTP/1.0 " + status + "\r\n" + "".join(f"{name}: {value}\r\n" for name, value in headers)
                   + "\r\n").encode("latin-1"))

    def simple(self, status, text):
        body = text.encode("utf-8")
        self.head(status, [("Content-Type", "text/plain"), ("Content-Length", len(body)), ("Connection", "close")])
        self.send(body)

    def redirect(self, path):
        scheme = "https" if self.server.tls else "http"
        self.head("302 Found", [("Location", f"{scheme}://127.0.0.1:{self.server.port}{path}"),
                                ("Content-Length", 0), ("Connection", "close")])

    def open_stream(self, headers, content_type="audio/mpeg", icy=True):
        asked = icy and headers.get("icy-metadata", "") == "1"
        fields = [("Content-Type", content_type), ("Cache-Control", "no-cache"), ("Connection", "close")]
        if icy:
            fields.append(("icy-name", "Fault Radio"))
        if asked:
            fields.append(("icy-metaint", METAINT))
        self.head("200 OK", fields)
        with self.state.lock:
            self.state.connections.add(self.connection)
        return asked

    def radio(self, headers, title=None, seconds=None, every_block=False):
        """Plays the tone, `seconds` of it or forever; returns the stream to go on with."""
        icy = self.open_stream(headers)
        stream = Stream(self.server.mp3, Pacer(self.connection), icy, title or self.state.current_title, every_block)
        self.play(stream, seconds)
        return stream

    def play(self, stream, seconds):
        limit = None if seconds is None else stream.audio_sent + int(seconds * RATE)
        while limit is None or stream.audio_sent < limit:
            stream.send(next(stream.source))

    def respond(self, method, path, query, headers):
        if method not in ("GET", "POST"):
            self.simple("405 Method Not Allowed", "GET or POST only\n")
        elif path.startswith("/control/"):
            command = path[len("/control/"):]
            if command == "title":
                command += " " + query.get("text", "")
            if self.state.apply(command):
                self.simple("200 OK", "ok\n")
            else:
                self.simple("404 Not Found", "unknown command\n")
        elif path == "/radio.mp3":
            self.radio(headers)
        elif path == "/drop.mp3":
            self.radio(headers, seconds=float(query.get("after", "3")))
        elif path == "/restart.mp3":
            self.radio(headers, seconds=float(query.get("after", "3")))
            self.server.go_down(float(query.get("down", "5")))
        elif path == "/stall.mp3":
            stream = self.radio(headers, seconds=float(query.get("after", "2")))
            stream.pacer.pause(float(query.get("for", "10")))
            self.play(stream, None)
        elif path == "/redirect.mp3":
            self.redirect("/radio.mp3")
        elif path == "/loop-redirect":
            self.redirect("/loop-redirect")
        elif path == "/notaudio":
            self.open_stream(headers, "text/html", icy=False)
            pacer = Pacer(self.connection)
            pacer.send(b"<!DOCTYPE html>\n<html><head><title>Not a radio</title></head><body>\n")
            while True:
                pacer.send(b"<p>This page is not a radio station.</p>\n" * 40)
        elif path == "/garbage.mp3":
            self.open_stream(headers, icy=False)
            pacer = Pacer(self.connection)
            while True:
                pacer.send(os.urandom(CHUNK))
        elif path == "/hugetitle.mp3":
            self.radio(headers, title=lambda: HUGE_TITLE, every_block=True)
        elif path == "/latin1.mp3":
            self.radio(headers, title=lambda: LATIN1_TITLE)
        elif path == "/endless-icy.mp3":
            stream = self.radio(headers, seconds=METAINT / RATE)
            if stream.icy:
                # The length byte promises a block; what follows never closes the title nor ends.
                stream.pacer.send(b"\xffStreamTitle='")
                while True:
                    stream.pacer.send(b"a" * CHUNK)
            self.play(stream, None)
        elif path == "/endless-headers.mp3":
            pacer = Pacer(self.connection)
            pacer.send(b"HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n")
            number = 0
            while True:
                pacer.send(f"X-Padding-{number}: {'a' * 100}\r\n".encode("ascii"))
                number += 1
        elif path == "/slow-headers.mp3":
            self.send(b"HTTP/1.0 200 OK\r\n")
            while self.connection.recv(4096):
                pass
        else:
            self.simple("404 Not Found", "no such station\n")


class Server:
    def __init__(self, tls):
        self.state = State()
        self.tls = tls
        self.mp3 = tone_mp3()
        self.listener = self.listen(0)
        self.port = self.listener.getsockname()[1]

    @staticmethod
    def listen(port):
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", port))
        listener.listen(64)
        return listener

    def go_down(self, seconds):
        """Drops every stream and refuses connections for `seconds`, as a restarting server does."""
        with self.state.lock:
            self.state.down_until = max(self.state.down_until, time.monotonic() + seconds)
        self.state.drop_streams()

    def serve(self):
        while True:
            with self.state.lock:
                down = time.monotonic() < self.state.down_until
            if down and self.listener:
                self.listener.close()
                self.listener = None
            elif not down and not self.listener:
                try:
                    self.listener = self.listen(self.port)
                except OSError:
                    pass  # taken for a moment by a connection of another program's: try again
            if not self.listener:
                time.sleep(0.05)
                continue
            if select.select([self.listener], [], [], 0.05)[0]:
                connection, _ = self.listener.accept()
                threading.Thread(target=Handler(self, connection).run, daemon=True).start()


def read_commands(state):
    for line in sys.stdin.buffer:
        print("ok" if state.apply(line.decode("utf-8", "replace").rstrip("\n")) else "unknown command", flush=True)
    os._exit(0)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"), help="serve HTTPS with this certificate")
    arguments = parser.parse_args()
    tls = None
    if arguments.tls:
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(*arguments.tls)
    server = Server(tls)
    print(server.port, flush=True)
    threading.Thread(target=read_commands, args=(server.state,), daemon=True).start()
    server.serve()


if __name__ == "__main__":
    main()
