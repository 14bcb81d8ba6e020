#!/usr/bin/env python3
"""Measures zandorel-share against hostile clients, for comparing two builds
side by side:

    python3 bench/share_hostile.py smuggle  BINARY
    python3 bench/share_hostile.py memory   BINARY [--files 100000] [--requests 30]
    python3 bench/share_hostile.py fairness BINARY [--idle-addresses 5] [--stalled-addresses 4]

smuggle   sends hostile requests, each on a connection of its own: a GET
          carrying two differing Content-Length fields whose body is a second
          request, a NUL in the target and Content-Length: -1; prints every
          answer's status line, whether its framing holds and whether the
          connection was closed.
memory    serves a folder of FILES empty files (made once under /tmp), reads
          its page once, then sends REQUESTS page requests that are never
          read; prints the page size and the growth of the service's VmRSS
          (its highest until every client has begun to receive its page).
fairness  while IDLE-ADDRESSES source addresses (127.0.0.2, ...) each hold
          all their allowed connections open without sending anything
          (reopening whatever the service closes) and STALLED-ADDRESSES
          more each hold as many downloads they never read, times plain page
          requests from 127.0.0.1 for SECONDS seconds.
"""
import argparse
import os
import select
import socket
import statistics
import subprocess
import threading
import time
import urllib.parse


def start(binary, folder):
    proc = subprocess.Popen([binary, "--port", "0", folder], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True)
    address = proc.stdout.readline().strip()
    url = urllib.parse.urlsplit(address)
    return proc, url.port, url.path + "?" + url.query


def connect(port, source="127.0.0.1", timeout=30):
    s = socket.socket()
    s.bind((source, 0))
    s.settimeout(timeout)
    s.connect(("127.0.0.1", port))
    return s


def request(target, port, close=True):
    return (f"GET {target} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
            + ("Connection: close\r\n" if close else "") + "\r\n").encode()


def read_all(s):
    out = b""
    try:
        while chunk := s.recv(1 << 20):
            out += chunk
    except OSError:
        pass
    return out


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def describe(raw, closed):
    """The answers in `raw`: status lines, and whether each is framed right
    (its Content-Length bytes of body, then the next answer or the end)."""
    parts = []
    while raw:
        end = raw.find(b"\r\n\r\n")
        if not raw.startswith(b"HTTP/") or end < 0:
            parts.append(f"{len(raw)} stray bytes")
            break
        head = raw[:end].decode("latin1")
        length = None
        for line in head.split("\r\n")[1:]:
            name, _, value = line.partition(":")
            if name.lower() == "content-length":
                length = int(value.strip())
        body_end = end + 4 + (length or 0)
        parts.append(head.split("\r\n")[0] + ("" if length is not None and body_end <= len(raw)
                                               else " (framing broken)"))
        raw = raw[body_end:]
    return "; ".join(parts) + ("; closed" if closed else "; left open")


def exchange(port, data):
    s = connect(port, timeout=2)
    s.sendall(data)
    out = b""
    closed = False
    try:
        while chunk := s.recv(65536):
            out += chunk
        closed = True
    except socket.timeout:
        pass
    s.close()
    return describe(out, closed)


def smuggle(args):
    folder = "/tmp/zandorel-bench-small"
    os.makedirs(folder, exist_ok=True)
    proc, port, target = start(args.binary, folder)
    try:
        host = f"Host: 127.0.0.1:{port}\r\n".encode()
        second = request("/icons/file.svg", port, close=False)
        cases = {
            "two Content-Length values, the body a second request":
                b"GET /icons/folder.svg HTTP/1.1\r\n" + host + b"Content-Length: 0\r\nContent-Length: "
                + str(len(second)).encode() + b"\r\n\r\n" + second,
            "NUL in the target": b"GET /icons/folder.svg\0x HTTP/1.1\r\n" + host + b"\r\n",
            "Content-Length: -1": b"GET /icons/folder.svg HTTP/1.1\r\n" + host + b"Content-Length: -1\r\n\r\n",
        }
        for name, data in cases.items():
            print(f"{name}: {exchange(port, data)}")
    finally:
        proc.terminate()
        proc.wait()


def memory(args):
    folder = f"/tmp/zandorel-bench-{args.files}"
    if not os.path.isdir(folder) or len(os.listdir(folder)) != args.files:
        os.makedirs(folder, exist_ok=True)
        for i in range(args.files):
            open(os.path.join(folder, f"file-{i:06d}.txt"), "w").close()
    proc, port, target = start(args.binary, folder)
    try:
        s = connect(port)
        s.sendall(request(target, port))
        page = len(read_all(s))
        s.close()
        time.sleep(0.5)
        before = rss_kib(proc.pid)
        held = []
        for _ in range(args.requests):
            s = socket.socket()
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            s.connect(("127.0.0.1", port))
            s.sendall(request(target, port, close=False))
            held.append(s)
        # Each client has begun to receive its page once its socket is
        # readable; the highest figure until then, and for a second more,
        # counts.
        last = before
        waiting = list(held)
        settle = None
        while settle is None or time.monotonic() < settle:
            last = max(last, rss_kib(proc.pid))
            ready, _, _ = select.select(waiting, [], [], 0.1)
            waiting = [s for s in waiting if s not in ready]
            if not waiting and settle is None:
                settle = time.monotonic() + 1
        growth = (last - before) * 1024
        print(f"page {page / 1e6:.1f} MB; {args.requests} unread requests: VmRSS {before / 1024:.0f} -> "
              f"at most {last / 1024:.0f} MiB, growth {growth / 1e6:.1f} MB = {growth / page:.2f} pages")
        for s in held:
            s.close()
    finally:
        proc.terminate()
        proc.wait()


def fairness(args):
    folder = "/tmp/zandorel-bench-fair"
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "big.bin"), "wb") as f:
        f.truncate(64 * 1024 * 1024)
    proc, port, target = start(args.binary, folder)
    stop = threading.Event()
    download = None

    def hold(source, stalled):
        conns = []
        while not stop.is_set():
            while len(conns) < args.per_address and not stop.is_set():
                try:
                    s = connect(port, source, timeout=1)
                    if stalled:
                        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
                        s.sendall(download)
                    conns.append(s)
                except OSError:
                    time.sleep(0.05)
                    break
            # Reopen what the service closed.
            alive = []
            for s in conns:
                try:
                    s.setblocking(False)
                    peek = s.recv(1, socket.MSG_PEEK)
                    (alive if peek else []).append(s) if peek else s.close()
                except BlockingIOError:
                    alive.append(s)
                except OSError:
                    s.close()
            conns = alive
            stop.wait(0.1)
        for s in conns:
            s.close()

    try:
        # The download address, from the page.
        s = connect(port)
        s.sendall(request(target, port))
        page = read_all(s).decode("utf-8", "replace")
        s.close()
        at = page.find("/download?id=")
        download_target = page[at:page.find('"', at)].replace("\\u0026", "&")
        download = request(download_target, port, close=False)
        sources = [f"127.0.0.{2 + i}" for i in range(args.idle_addresses + args.stalled_addresses)]
        threads = [threading.Thread(target=hold, args=(src, i >= args.idle_addresses), daemon=True)
                   for i, src in enumerate(sources)]
        for t in threads:
            t.start()
        time.sleep(2)
        times = []
        end = time.monotonic() + args.seconds
        while time.monotonic() < end:
            started = time.monotonic()
            try:
                s = connect(port, timeout=60)
                s.sendall(request(target, port))
                reply = read_all(s)
                s.close()
                ok = reply.startswith(b"HTTP/1.1 200")
            except OSError:
                ok = False
            times.append(time.monotonic() - started if ok else float("inf"))
            time.sleep(0.5)
        finite = [t for t in times if t != float("inf")]
        print(f"{len(times)} plain requests while {args.idle_addresses} addresses idle and "
              f"{args.stalled_addresses} stall downloads ({args.per_address} each): "
              f"{len(finite)} answered, median {statistics.median(times) * 1000:.0f} ms, "
              f"worst {max(times) * 1000:.0f} ms")
    finally:
        stop.set()
        proc.terminate()
        proc.wait()


parser = argparse.ArgumentParser()
parser.add_argument("what", choices=["smuggle", "memory", "fairness"])
parser.add_argument("binary")
parser.add_argument("--files", type=int, default=100000)
parser.add_argument("--requests", type=int, default=30)
parser.add_argument("--idle-addresses", type=int, default=5)
parser.add_argument("--stalled-addresses", type=int, default=4)
parser.add_argument("--per-address", type=int, default=128)
parser.add_argument("--seconds", type=float, default=15)
args = parser.parse_args()
{"smuggle": smuggle, "memory": memory, "fairness": fairness}[args.what](args)
