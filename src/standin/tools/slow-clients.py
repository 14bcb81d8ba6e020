#!/usr/bin/env python3
"""Times plain page requests to a running zandorel-share while slow and idle
clients hold connections open, then once they have gone.

usage: slow-clients.py ADDRESS [--trickling 12] [--idle 64] [--interval 1.5]
                       [--seconds 20]

ADDRESS is the page address the service printed on its first line. During
the attack, TRICKLING clients each send one byte of a request head every
INTERVAL seconds and IDLE clients connect and send nothing; a plain GET of
ADDRESS is timed every second for SECONDS seconds. Prints each time, the
worst and the median, then the same for ten requests after the attack.
"""
import argparse
import socket
import statistics
import threading
import time
import urllib.parse

parser = argparse.ArgumentParser()
parser.add_argument("address")
parser.add_argument("--trickling", type=int, default=12)
parser.add_argument("--idle", type=int, default=64)
parser.add_argument("--interval", type=float, default=1.5)
parser.add_argument("--seconds", type=float, default=20)
args = parser.parse_args()

url = urllib.parse.urlsplit(args.address)
host, port = url.hostname, url.port or 80
target = url.path + ("?" + url.query if url.query else "")
request = f"GET {target} HTTP/1.1\r\nHost: {url.netloc}\r\nConnection: close\r\n\r\n".encode()
stop = threading.Event()
closed_by_server = [0]


def trickle():
    head = f"GET {target} HTTP/1.1\r\nHost: {url.netloc}\r\nX-Slow: ".encode() + b"a" * 10000
    while not stop.is_set():
        try:
            s = socket.create_connection((host, port), timeout=5)
            for byte in head:
                if stop.wait(args.interval):
                    break
                s.send(bytes([byte]))
        except OSError:
            closed_by_server[0] += 1
            continue
        finally:
            try:
                s.close()
            except Exception:
                pass


def plain():
    start = time.monotonic()
    s = socket.create_connection((host, port), timeout=30)
    s.sendall(request)
    reply = b""
    while chunk := s.recv(65536):
        reply += chunk
    s.close()
    if not reply.startswith(b"HTTP/1.1 200"):
        raise SystemExit(f"unexpected answer: {reply[:80]!r}")
    return time.monotonic() - start


def report(label, times):
    print(f"{label}: {len(times)} requests, median {statistics.median(times) * 1000:.1f} ms, "
          f"worst {max(times) * 1000:.1f} ms")


idle = [socket.create_connection((host, port)) for _ in range(args.idle)]
threads = [threading.Thread(target=trickle, daemon=True) for _ in range(args.trickling)]
for t in threads:
    t.start()
time.sleep(2 * args.interval)  # every slow client has begun its head
during = []
end = time.monotonic() + args.seconds
while time.monotonic() < end:
    during.append(plain())
    print(f"  during the attack: {during[-1] * 1000:.1f} ms")
    time.sleep(1)
stop.set()
for s in idle:
    s.close()
for t in threads:
    t.join()
after = [plain() for _ in range(10)]
report(f"during ({args.trickling} trickling every {args.interval} s, {args.idle} idle)", during)
report("after they left", after)
print(f"slow connections closed by the server and reopened: {closed_by_server[0]}")
