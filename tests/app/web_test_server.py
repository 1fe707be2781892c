#!/usr/bin/env python3
"""Scripted HTTP server for the web access tests.

    web_test_server.py start --dir DIR [--speech-service PROGRAM]
    web_test_server.py stop --dir DIR

`start` launches the server in the background (its own session, output to
DIR/server.log) and returns once it listens; DIR/ports then holds one
"name=port" line each for:
  http     the scripted HTTP server on 127.0.0.1
  control  where a test tells it what to answer and reads what it received
  refused  a port that is bound but never listens: connections are refused
  service  the speech service started beside it (0 when not started)
`stop` ends it (and the speech service). The server also ends by itself after
ten minutes without a control request, so an interrupted run leaves nothing.

Control protocol: one request per connection; the client sends it, shuts
down its sending side and reads the answer until the server closes.
  "script\n" + answers: the answers for the next connections to the http
      port, in order (the last one repeats), and an empty request log.
      Each answer starts with the line "answer"; its steps follow:
        "send N\n" + N bytes   send those bytes
        "repeat COUNT N\n" + N bytes   send those bytes COUNT times (a body
                               that goes on longer than any client reads)
        "sleep MS\n"           wait
        "drop\n"               close at once without a further byte
      After its last step the connection is closed.
  "log\n": every request received since the script, in arrival order, each
      as "N\n" + the N raw bytes (request line, headers, body).
"""

import argparse
import os
import signal
import socket
import socketserver
import subprocess
import sys
import threading
import time

IDLE_LIMIT = 600.0


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.answers = [[("send", b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")]]
        self.next = 0
        self.log = []
        self.last_control = time.monotonic()


STATE = State()


def parse_script(data):
    answers = []
    pos = 0
    while pos < len(data):
        end = data.index(b"\n", pos)
        line = data[pos:end].decode("ascii")
        pos = end + 1
        if line == "answer":
            answers.append([])
        elif line.startswith("send "):
            n = int(line[5:])
            answers[-1].append(("send", data[pos:pos + n]))
            pos += n
        elif line.startswith("repeat "):
            count, n = (int(v) for v in line[7:].split())
            answers[-1].append(("repeat", (count, data[pos:pos + n])))
            pos += n
        elif line.startswith("sleep "):
            answers[-1].append(("sleep", int(line[6:])))
        elif line == "drop":
            answers[-1].append(("drop", None))
        elif line:
            raise ValueError("unknown script line %r" % line)
    return answers


def read_request(sock):
    """The raw bytes of one request: up to the empty line, then the body its
    Content-Length announces."""
    sock.settimeout(10)
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            return data
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip() or b"0")
    while len(rest) < length:
        chunk = sock.recv(65536)
        if not chunk:
            break
        rest += chunk
    return head + b"\r\n\r\n" + rest


class HttpHandler(socketserver.BaseRequestHandler):
    def handle(self):
        try:
            request = read_request(self.request)
        except OSError:
            return
        if not request:
            return
        with STATE.lock:
            STATE.log.append(request)
            answer = STATE.answers[min(STATE.next, len(STATE.answers) - 1)]
            STATE.next += 1
        try:
            for kind, value in answer:
                if kind == "send":
                    self.request.sendall(value)
                elif kind == "repeat":
                    count, piece = value
                    for _ in range(count):
                        self.request.sendall(piece)
                elif kind == "sleep":
                    time.sleep(value / 1000.0)
                elif kind == "drop":
                    break
            self.request.shutdown(socket.SHUT_WR)
        except OSError:
            pass


class ControlHandler(socketserver.BaseRequestHandler):
    def handle(self):
        STATE.last_control = time.monotonic()
        # A growing bytearray: scripts may carry tens of megabytes, and
        # appending to bytes copies the whole so far each time.
        data = bytearray()
        self.request.settimeout(10)
        while True:
            chunk = self.request.recv(65536)
            if not chunk:
                break
            data += chunk
        command, _, rest = bytes(data).partition(b"\n")
        if command == b"script":
            answers = parse_script(rest)
            with STATE.lock:
                STATE.answers = answers
                STATE.next = 0
                STATE.log = []
            self.request.sendall(b"ok\n")
        elif command == b"log":
            with STATE.lock:
                out = b"".join(b"%d\n" % len(r) + r for r in STATE.log)
            self.request.sendall(out)
        else:
            self.request.sendall(b"unknown\n")


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def start_speech_service(program, directory):
    if not program:
        return None, 0
    if not os.access(program, os.X_OK):
        print("web_test_server: no speech service at %s (build it: cmake --build --preset host"
              " --target speech-service)" % program, file=sys.stderr, flush=True)
        return None, 0
    log = open(os.path.join(directory, "speech-service.log"), "ab")
    child = subprocess.Popen(
        [program, "--listen", "127.0.0.1:0", "--cache", os.path.join(directory, "speech-cache"), "--quiet"],
        stdout=subprocess.PIPE, stderr=log, stdin=subprocess.DEVNULL)
    line = child.stdout.readline().decode("utf-8", "replace")
    marker = "listening on http://127.0.0.1:"
    if marker not in line:
        child.terminate()
        child.wait()
        return None, 0
    port = int(line.split(marker, 1)[1].split("/", 1)[0])
    return child, port


def serve(directory, speech_program):
    http = Server(("127.0.0.1", 0), HttpHandler)
    control = Server(("127.0.0.1", 0), ControlHandler)
    refused = socket.socket()
    refused.bind(("127.0.0.1", 0))
    speech, speech_port = start_speech_service(speech_program, directory)

    stopping = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stopping.set())
    for s in (http, control):
        threading.Thread(target=s.serve_forever, daemon=True).start()

    ports = "http=%d\ncontrol=%d\nrefused=%d\nservice=%d\n" % (
        http.server_address[1], control.server_address[1], refused.getsockname()[1], speech_port)
    temporary = os.path.join(directory, "ports.new")
    with open(temporary, "w") as f:
        f.write(ports)
    os.rename(temporary, os.path.join(directory, "ports"))

    while not stopping.wait(1.0):
        if time.monotonic() - STATE.last_control > IDLE_LIMIT:
            break
    if speech:
        speech.terminate()
        try:
            speech.wait(10)
        except subprocess.TimeoutExpired:
            speech.kill()
    http.shutdown()
    control.shutdown()


def start(directory, speech_program):
    os.makedirs(directory, exist_ok=True)
    stop(directory)
    ports = os.path.join(directory, "ports")
    if os.path.exists(ports):
        os.remove(ports)
    arguments = [sys.executable, os.path.abspath(__file__), "serve", "--dir", directory]
    if speech_program:
        arguments += ["--speech-service", speech_program]
    with open(os.path.join(directory, "server.log"), "ab") as log:
        child = subprocess.Popen(arguments, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                 start_new_session=True)
    with open(os.path.join(directory, "server.pid"), "w") as f:
        f.write("%d\n" % child.pid)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        if os.path.exists(ports):
            print(open(ports).read(), end="")
            return 0
        if child.poll() is not None:
            break
        time.sleep(0.05)
    print("web_test_server: the server did not start", file=sys.stderr)
    return 1


def stop(directory):
    pid_file = os.path.join(directory, "server.pid")
    if not os.path.exists(pid_file):
        return 0
    pid = int(open(pid_file).read())
    os.remove(pid_file)
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return 0
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline:
        try:
            waited, _ = os.waitpid(pid, os.WNOHANG)
            if waited:
                return 0
        except ChildProcessError:
            pass  # not our child: look whether it is still there
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return 0
        time.sleep(0.05)
    os.kill(pid, signal.SIGKILL)
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("action", choices=["start", "stop", "serve"])
    parser.add_argument("--dir", required=True)
    parser.add_argument("--speech-service")
    args = parser.parse_args()
    directory = os.path.abspath(args.dir)
    if args.action == "start":
        return start(directory, args.speech_service)
    if args.action == "stop":
        return stop(directory)
    serve(directory, args.speech_service)
    return 0


if __name__ == "__main__":
    sys.exit(main())
