#!/usr/bin/env python3
"""A lab on one machine: N services (default 16), each with its own paced simulator (its
oven heating from cold, so that the status changes) and a 1 s poll, publishing to one
mosquitto. Reports the poll period (p50, p99), the time from a poll to its status reaching
a subscriber, and the CPU per instrument.

    bench/fleet.py BUILD_DIR [N] [SECONDS]
"""
import json, os, signal, socket, subprocess, sys, tempfile, time
from datetime import datetime


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100 * (len(values) - 1))))] if values else 0


def main():
    build, count = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 16
    seconds = int(sys.argv[3]) if len(sys.argv) > 3 else 60
    root = tempfile.mkdtemp(prefix="gc6890-fleet-")
    port = free_port()
    with open(f"{root}/mosquitto.conf", "w") as f:
        f.write(f"listener {port} 127.0.0.1\nallow_anonymous true\npersistence false\n")
    procs = [subprocess.Popen(["/usr/sbin/mosquitto", "-c", f"{root}/mosquitto.conf"],
                              stderr=subprocess.DEVNULL)]
    time.sleep(0.5)
    services = []
    for i in range(count):
        home = f"{root}/gc{i}"
        os.makedirs(f"{home}/run", mode=0o700)
        with open(f"{home}/registry.ini", "w") as f:
            f.write("[Inlets\\Hubrel\\System Timings]\nStatus Frequency=1000\n")
        env = dict(os.environ, GC6890_HOME=home, XDG_RUNTIME_DIR=f"{home}/run")
        sim = subprocess.Popen([f"{build}/sim/gc6890-sim", "--start-cold", "--link", f"{home}/gc"], env=env,
                               stdout=subprocess.DEVNULL)
        while not os.path.exists(f"{home}/gc"):
            time.sleep(0.05)
        svc = subprocess.Popen([f"{build}/apps/gc6890/gc6890", "serve", "--listen", "127.0.0.1:0",
                                "--port", f"{home}/gc", "--name", f"gc{i}", "--mqtt",
                                f"mqtt://127.0.0.1:{port}"], env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
        url = svc.stdout.readline().strip()
        procs += [sim, svc]
        services.append((sim, svc, url))
    time.sleep(5)  # every line up
    sub = subprocess.Popen(["mosquitto_sub", "-p", str(port), "-t", "gc6890/+/status", "-F",
                            "%U %r %t %p"], stdout=subprocess.PIPE, text=True)
    cpu0 = {p.pid: cpu_seconds(p.pid) for p in procs}
    start = time.time()
    lines = []
    os.set_blocking(sub.stdout.fileno(), False)
    while time.time() - start < seconds:
        chunk = sub.stdout.readline()
        if chunk:
            lines.append(chunk)
        else:
            time.sleep(0.01)
    elapsed = time.time() - start
    cpu1 = {p.pid: cpu_seconds(p.pid) for p in procs}

    latencies = []
    for line in lines:
        received, retained, _topic, payload = line.split(" ", 3)
        status = json.loads(payload)
        if not status.get("time") or retained == "1":  # kept by the broker from before
            continue
        polled = datetime.fromisoformat(status["time"].replace("Z", "+00:00")).timestamp()
        # A status sent on change is composed at its poll (age_ms 0); the 10 s repeat of
        # an unchanged one carries the last poll, up to a period old, and is not counted.
        if status.get("age_ms", 0) < 100:
            latencies.append((float(received) - polled) * 1000)
    periods = []
    for _, _, url in services:
        history = json.load(__import__("urllib.request").request.urlopen(
            url + f"api/v1/history?seconds={seconds}"))
        t = history["time_ms"]
        periods += [b - a for a, b in zip(t, t[1:])]
    svc_cpu = sum(cpu1[s.pid] - cpu0[s.pid] for _, s, _ in services) / count / elapsed * 100
    sim_cpu = sum(cpu1[s.pid] - cpu0[s.pid] for s, _, _ in services) / count / elapsed * 100
    broker_cpu = (cpu1[procs[0].pid] - cpu0[procs[0].pid]) / elapsed * 100
    print(f"{count} instruments, {elapsed:.0f} s, {len(lines)} statuses received")
    print(f"poll period ms: p50 {percentile(periods, 50):.0f}, p99 {percentile(periods, 99):.0f}, "
          f"max {max(periods):.0f}")
    print(f"poll to subscriber ms: p50 {percentile(latencies, 50):.1f}, "
          f"p99 {percentile(latencies, 99):.1f}, max {max(latencies or [0]):.1f} "
          f"({len(latencies)} samples)")
    print(f"CPU per instrument: service {svc_cpu:.2f} %, simulator {sim_cpu:.2f} %; "
          f"broker {broker_cpu:.2f} % in all")
    for p in [sub] + procs[::-1]:
        p.send_signal(signal.SIGTERM)
    for p in [sub] + procs:
        p.wait(timeout=60)


if __name__ == "__main__":
    main()
