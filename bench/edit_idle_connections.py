#!/usr/bin/env python3
"""How `loomhost edit` answers while many clients hold idle connections (not run in CI).

Starts the editor on a free port, opens IDLE connections that send nothing (with --slow,
half of them stop in the middle of their headers instead), then times ordinary API
requests. Exits 1 when the slowest request took LIMIT milliseconds or more.

  bench/edit_idle_connections.py build/bin/loomhost build/plugins [--idle 300] [--slow]
"""
import argparse
import http.client
import re
import resource
import socket
import statistics
import subprocess
import sys
import tempfile
import time


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('loomhost')
    ap.add_argument('plugins')
    ap.add_argument('--idle', type=int, default=300, help='idle connections to hold')
    ap.add_argument('--slow', action='store_true', help='half of them stop mid-header')
    ap.add_argument('--requests', type=int, default=50, help='timed requests')
    ap.add_argument('--limit', type=float, default=100.0, help='slowest allowed, in ms')
    args = ap.parse_args()

    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 4096), hard))

    with tempfile.TemporaryDirectory() as root:
        editor = subprocess.Popen(
            [args.loomhost, '--plugins', args.plugins, 'edit', '--port', '0', '--open', 'nimbra',
             '--root', root],
            stdout=subprocess.PIPE, text=True)
        try:
            line = editor.stdout.readline()
            m = re.search(r'http://127\.0\.0\.1:(\d+)/\?token=(\w+)', line)
            if not m:
                sys.exit(f'the editor printed no address: {line!r}')
            port, token = int(m.group(1)), m.group(2)

            held = []
            for i in range(args.idle):
                s = socket.create_connection(('127.0.0.1', port))
                if args.slow and i % 2:
                    s.sendall(b'GET /api/state HTTP/1.1\r\nHost: 127')
                held.append(s)
            time.sleep(0.2)

            times = []
            for _ in range(args.requests):
                start = time.perf_counter()
                c = http.client.HTTPConnection('127.0.0.1', port, timeout=30)
                c.request('GET', '/api/state', headers={'X-Loom-Token': token})
                r = c.getresponse()
                r.read()
                c.close()
                times.append((time.perf_counter() - start) * 1000.0)
                if r.status != 200:
                    sys.exit(f'the request was answered {r.status}')
            for s in held:
                s.close()
        finally:
            editor.terminate()
            editor.wait(10)

    print(f'{len(held)} connections held; {args.requests} requests: median '
          f'{statistics.median(times):.1f} ms, slowest {max(times):.1f} ms')
    sys.exit(0 if max(times) < args.limit else 1)


if __name__ == '__main__':
    main()
