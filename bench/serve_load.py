#!/usr/bin/env python3
"""Load on `nimbo serve` over loopback: starts it on the demo, drives it, stops it, prints figures.

Three runs, each bounded in clients and time, all to 127.0.0.1 only:
  1. tabs:    50 tabs long-polling /api/events and 50 idle sockets held open (reopened when the
              server drops them), while one client asks /api/state again and again; the figures
              are the /api/state latencies.
  2. clients: 200 clients fetching the page and its assets for 30 s on keep-alive connections,
              as a browser does (reconnecting when the server closes).
  3. memory:  10,000 displays of report pages; the server's resident memory before and after.
Every request has a time-out; one that fails or times out is counted as an error, not waited for.

Usage: bench/serve_load.py [--nimbo build/nimbo] [--seconds 30] [--clients 200] [--tabs 50]
                           [--idle 50] [--displays 10000]
"""

import argparse
import asyncio
import json
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HOST = "127.0.0.1"
REQUEST_TIMEOUT = 5.0     # seconds one request may take before it counts as an error
MAX_REPLY_BYTES = 64 << 20  # no reply of the host is near this; a bound on what is read


class Client:
    """One keep-alive HTTP/1.1 connection; reconnects when the server closed it."""

    def __init__(self, port):
        self.port = port
        self.reader = None
        self.writer = None

    async def close(self):
        if self.writer:
            self.writer.close()
            try:
                await asyncio.wait_for(self.writer.wait_closed(), 1)
            except (OSError, asyncio.TimeoutError):
                pass
        self.reader = self.writer = None

    async def request(self, method, target, body=None, timeout=REQUEST_TIMEOUT):
        """Returns (status, body bytes); raises on a failure or after `timeout` seconds."""
        return await asyncio.wait_for(self._request(method, target, body), timeout)

    async def _request(self, method, target, body):
        if self.writer is None:
            self.reader, self.writer = await asyncio.open_connection(HOST, self.port)
        head = f"{method} {target} HTTP/1.1\r\nHost: {HOST}:{self.port}\r\n"
        payload = b""
        if body is not None:
            payload = json.dumps(body).encode()
            head += ("X-Nimbo-Request: 1\r\nContent-Type: application/json\r\n"
                     f"Content-Length: {len(payload)}\r\n")
        self.writer.write(head.encode() + b"\r\n" + payload)
        await self.writer.drain()
        raw = await self.reader.readuntil(b"\r\n\r\n")
        lines = raw.decode("latin-1").split("\r\n")
        status = int(lines[0].split(" ")[1])
        headers = {}
        for line in lines[1:]:
            if ":" in line:
                name, value = line.split(":", 1)
                headers[name.strip().lower()] = value.strip()
        length = int(headers.get("content-length", "0"))
        if length > MAX_REPLY_BYTES:
            raise ValueError("reply too large")
        data = await self.reader.readexactly(length)
        if headers.get("connection", "").lower() == "close":
            await self.close()
        return status, data, headers


def rss_kib(pid):
    """(current, peak) resident memory of a process in KiB."""
    fields = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            name, _, value = line.partition(":")
            fields[name] = value.strip()
    return int(fields["VmRSS"].split()[0]), int(fields["VmHWM"].split()[0])


def summary(name, latencies, errors):
    if not latencies:
        print(f"{name}: no answers, {errors} errors")
        return
    ms = sorted(x * 1000 for x in latencies)
    p = lambda q: ms[min(len(ms) - 1, int(q * len(ms)))]
    print(f"{name}: {len(ms)} answers, {errors} errors; "
          f"p50 {p(0.50):.2f} ms, p99 {p(0.99):.2f} ms, max {ms[-1]:.2f} ms, "
          f"mean {statistics.fmean(ms):.2f} ms")


async def tab(port, stop):
    """A browser tab's long poll: ask for events after the last seen, again and again."""
    client = Client(port)
    seq = 0
    while not stop.is_set():
        try:
            status, data, headers = await client.request(
                "GET", f"/api/events?wait=1&after={seq}", timeout=30)
            if status == 200:
                seq = max(seq, json.loads(data).get("seq", seq))
            else:
                # Refused (the host holds as many waits as it allows): retry as the page does.
                await asyncio.sleep(float(headers.get("retry-after", "2")))
        except (OSError, asyncio.TimeoutError, asyncio.IncompleteReadError, ValueError):
            await client.close()
            await asyncio.sleep(0.5)
    await client.close()


async def idle(port, stop, drops):
    """A socket that connects and says nothing; reopened whenever the server drops it."""
    while not stop.is_set():
        try:
            reader, writer = await asyncio.open_connection(HOST, port)
        except OSError:
            await asyncio.sleep(0.5)
            continue
        try:
            while not stop.is_set():
                try:
                    if not await asyncio.wait_for(reader.read(1), 0.5):
                        drops[0] += 1
                        break
                except asyncio.TimeoutError:
                    pass
        except OSError:
            drops[0] += 1
        finally:
            writer.close()


async def run_tabs(port, tabs, idles, seconds):
    stop = asyncio.Event()
    drops = [0]
    tasks = [asyncio.create_task(tab(port, stop)) for _ in range(tabs)]
    tasks += [asyncio.create_task(idle(port, stop, drops)) for _ in range(idles)]
    await asyncio.sleep(1)  # let every tab and idle socket get in
    latencies, errors = [], 0
    probe = Client(port)
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        start = time.monotonic()
        try:
            status, _, _ = await probe.request("GET", "/api/state")
            if status == 200:
                latencies.append(time.monotonic() - start)
            else:
                errors += 1
        except (OSError, asyncio.TimeoutError, asyncio.IncompleteReadError, ValueError):
            errors += 1
            await probe.close()
        await asyncio.sleep(0.02)
    stop.set()
    await probe.close()
    await asyncio.wait_for(asyncio.gather(*tasks, return_exceptions=True), 40)
    summary(f"/api/state with {tabs} long-polling tabs and {idles} idle sockets",
            latencies, errors)
    print(f"  idle sockets dropped by the server: {drops[0]}")


async def run_clients(port, clients, seconds):
    targets = ["/", "/assets/app.css", "/assets/icons.js", "/assets/app.js",
               "/assets/favicon.svg"]
    latencies, errors = [], [0]
    end = time.monotonic() + seconds

    async def one():
        client = Client(port)
        i = 0
        while time.monotonic() < end:
            start = time.monotonic()
            try:
                status, _, _ = await client.request("GET", targets[i % len(targets)])
                if status == 200:
                    latencies.append(time.monotonic() - start)
                else:
                    errors[0] += 1
            except (OSError, asyncio.TimeoutError, asyncio.IncompleteReadError, ValueError):
                errors[0] += 1
                await client.close()
            i += 1
        await client.close()

    await asyncio.wait_for(asyncio.gather(*(one() for _ in range(clients))),
                           seconds + 2 * REQUEST_TIMEOUT + 10)
    summary(f"page and assets, {clients} clients for {seconds} s", latencies, errors[0])


async def run_displays(port, pid, displays):
    client = Client(port)
    _, data, _ = await client.request("GET", "/api/state")
    rows = json.loads(data)["tree"]
    # The root's children are the demo's pages; showing them in turn builds a report each time.
    shown = [(r[0], r[2]) for r in rows[1:4]] or [(rows[0][0], rows[0][2])]
    errors = 0

    async def display(i):
        nonlocal errors
        index, text = shown[i % len(shown)]
        try:
            status, _, _ = await client.request("POST", "/api/display",
                                                {"index": index, "text": text})
            errors += status != 200
        except (OSError, asyncio.TimeoutError, asyncio.IncompleteReadError, ValueError):
            errors += 1
            await client.close()

    for i in range(min(1000, displays)):  # warm-up: caches and pools reach their size
        await display(i)
    before = rss_kib(pid)[0]
    start = time.monotonic()
    for i in range(displays):
        await display(i)
    took = time.monotonic() - start
    after = rss_kib(pid)[0]
    await client.close()
    print(f"{displays} displays in {took:.1f} s, {errors} errors: RSS {before} KiB -> {after} KiB "
          f"({after - before:+d} KiB, {(after - before) * 1024 / max(displays, 1):+.1f} B/display)")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--nimbo", default="build/nimbo")
    parser.add_argument("--seconds", type=int, default=30)
    parser.add_argument("--clients", type=int, default=200)
    parser.add_argument("--tabs", type=int, default=50)
    parser.add_argument("--idle", type=int, default=50)
    parser.add_argument("--displays", type=int, default=10000)
    args = parser.parse_args()
    # Bounds: this is a benchmark on loopback, not a stress tool.
    for name, most in (("seconds", 300), ("clients", 1000), ("tabs", 500), ("idle", 500),
                       ("displays", 100000)):
        if not 0 <= getattr(args, name) <= most:
            sys.exit(f"--{name} must be between 0 and {most}")

    work = tempfile.mkdtemp(prefix="nimbo-serve-load-")
    server = subprocess.Popen(
        [os.path.abspath(args.nimbo), "serve", "--port", "0", "--folder", f"{work}/demo"],
        stdout=subprocess.PIPE, text=True)
    try:
        port = None
        deadline = time.monotonic() + 60
        while port is None and time.monotonic() < deadline:
            line = server.stdout.readline()
            if not line:
                sys.exit("nimbo serve ended before it listened")
            found = re.search(r"127\.0\.0\.1:(\d+)/", line)
            if found:
                port = int(found.group(1))
        if port is None:
            sys.exit("nimbo serve did not listen within 60 s")
        print(f"nimbo serve on 127.0.0.1:{port} (pid {server.pid}), {os.cpu_count()} cores")
        asyncio.run(run_tabs(port, args.tabs, args.idle, min(args.seconds, 15)))
        print(f"  server RSS now {rss_kib(server.pid)[0]} KiB")
        asyncio.run(run_clients(port, args.clients, args.seconds))
        print(f"  server RSS now {rss_kib(server.pid)[0]} KiB")
        asyncio.run(run_displays(port, server.pid, args.displays))
        current, peak = rss_kib(server.pid)
        print(f"server RSS at the end {current} KiB, peak {peak} KiB")
    finally:
        server.send_signal(signal.SIGINT)
        try:
            server.wait(20)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
