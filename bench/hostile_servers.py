#!/usr/bin/env python3
"""Device servers that lie, loop or flood, on 127.0.0.1, against zelkora-cli: for each, how the
errand ends (status and line), how long it took, the CPU time it used and its peak memory.

    bench/hostile_servers.py [ZELKORA_CLI] [--limit SECONDS]

Every server and every run stays on loopback and ends by itself; a run still going after the
limit is ended and reported as such.
"""
import os
import random
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

IAC, WILL, WONT, DO, NOP = 255, 251, 252, 253, 241


def toggling(conn):
    conn.sendall(bytes([IAC, DO, 44]))
    burst = bytes([IAC, WILL, 3, IAC, WONT, 3]) * 4096  # SUPPRESS-GO-AHEAD, wanted: answered
    while True:
        conn.sendall(burst)


def nop_flood(conn):
    conn.sendall(bytes([IAC, DO, 44]))
    burst = bytes([IAC, NOP]) * 8192
    while True:
        conn.sendall(burst)


def answers_65(conn):
    while True:
        data = conn.recv(4096)
        if not data:
            return
        conn.sendall(b"A" * len(data))


def version_then_65(conn):
    conn.sendall(bytes([137]))
    while True:
        time.sleep(0.06)
        conn.sendall(b"A")


def random_stream(conn):
    rng = random.Random(2217)
    while True:
        conn.sendall(bytes(rng.getrandbits(8) for _ in range(1024)))
        time.sleep(0.01)


def reading_on_connect(conn):
    conn.sendall(bytes([21, 22, 23, 45]))
    while conn.recv(4096):
        pass


def no_com_port(conn):
    conn.sendall(bytes([IAC, WILL, 0, IAC, DO, 0]))
    while conn.recv(4096):
        pass


def slow_negotiation(conn):
    time.sleep(2.5)
    conn.sendall(bytes([IAC, DO, 44, IAC, WILL, 0, IAC, DO, 0]))
    while conn.recv(4096):
        pass


SCENARIOS = [
    ("toggles an option, never reads", toggling, "rfc2217", "version"),
    ("floods IAC NOP", nop_flood, "rfc2217", "version"),
    ("answers every byte with 65", answers_65, "socket", "version"),
    ("answers every byte with 65", answers_65, "socket", "upload"),
    ("137, then 65 every 60 ms, never reads", version_then_65, "socket", "upload"),
    ("random bytes", random_stream, "socket", "version"),
    ("random bytes", random_stream, "rfc2217", "version"),
    ("four bytes on connect", reading_on_connect, "socket", "measure"),
    ("never takes up the Com Port option", no_com_port, "rfc2217", "upload"),
    ("negotiates after 2.5 s, no card", slow_negotiation, "rfc2217", "version"),
]


def serve(listener, handler, stop):
    listener.settimeout(0.2)
    while not stop.is_set():
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            continue
        conn.settimeout(30)

        def run(c=conn):
            try:
                handler(c)
            except OSError:
                pass
            finally:
                c.close()

        threading.Thread(target=run, daemon=True).start()


def run_cli(cli, args, env, limit):
    start = time.monotonic()
    process = subprocess.Popen([cli] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               env=env, start_new_session=True)
    timer = threading.Timer(limit, lambda: os.killpg(process.pid, signal.SIGKILL))
    timer.start()
    out, err = process.stdout.read(), process.stderr.read()
    _, status, usage = os.wait4(process.pid, 0)
    timer.cancel()
    wall = time.monotonic() - start
    killed = os.WIFSIGNALED(status)
    code = os.WEXITSTATUS(status) if os.WIFEXITED(status) else None
    line = (out + err).decode("utf-8", "replace").strip().splitlines()
    said = line[-1] if line else ""
    return {
        "status": "läuft noch" if killed else str(code),
        "wall": wall,
        "cpu": usage.ru_utime + usage.ru_stime,
        "rss": usage.ru_maxrss / 1024,
        "said": said,
    }


def main():
    args = sys.argv[1:]
    limit = 20.0
    if "--limit" in args:
        at = args.index("--limit")
        limit = float(args[at + 1])
        del args[at:at + 2]
    here = os.path.dirname(os.path.abspath(__file__))
    cli = args[0] if args else os.path.join(here, "..", "build", "cli", "zelkora-cli")
    project = os.path.join(here, "..", "app", "Relaiskarte.rel")
    state = tempfile.mkdtemp(prefix="zelkora-hostile-")
    env = dict(os.environ, XDG_STATE_HOME=state, XDG_CONFIG_HOME=state)
    print(f"zelkora-cli: {cli}; a run is ended after {limit:.0f} s")
    print(f"{'server':40} {'errand':8} {'status':>10} {'wall s':>7} {'CPU s':>6} {'MB':>6}  line")
    for name, handler, scheme, errand in SCENARIOS:
        listener = socket.socket()
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", 0))
        listener.listen(4)
        stop = threading.Event()
        threading.Thread(target=serve, args=(listener, handler, stop), daemon=True).start()
        url = f"{scheme}://127.0.0.1:{listener.getsockname()[1]}"
        command = [errand] + ([project] if errand == "upload" else []) + ["--port", url]
        r = run_cli(cli, command, env, limit)
        stop.set()
        listener.close()
        print(f"{name:40} {errand:8} {r['status']:>10} {r['wall']:7.1f} {r['cpu']:6.2f} "
              f"{r['rss']:6.0f}  {r['said'][:110]}")


if __name__ == "__main__":
    main()
