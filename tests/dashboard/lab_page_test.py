#!/usr/bin/python3
# The lab page in a real browser: a mosquitto of the test's own on a free loopback port, 16
# `gc6890 serve` on simulators publishing to it, `gc6890 lab serve` and its page in
# headless Chromium. The lab goes through a run, a sequence paused on a missing vial, a
# line cut, a service killed outright and a broker outage; the page shows each within
# seconds and recovers, and /api/v1/lab and /metrics say the same. Screenshots in --shots.
import getpass
import json
import os
import pathlib
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
import urllib.request

from browser_session import Page, browser, start_sim, stop, test_setup

HERE = os.path.dirname(os.path.abspath(__file__))
COUNT = 16
SPEED = 30  # the simulators' speed: a 0.5-minute run takes 1 s
SHORT = pathlib.Path(HERE, "..", "service", "short_method.toml").read_text()
LONG = SHORT.replace("run_length = 0.5", "run_length = 30")  # runs through the test
# Vial 2 is missing on gc02: its sequence pauses at the second row with the reason.
TRAY = 'name = "tray"\non_error = "pause"\n' + "".join(
    f'[[row]]\nvial = {vial}\nmethod = "short"\nsample = "s{vial}"\n' for vial in (1, 2, 3))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Broker:
    def __init__(self, folder):
        self.port = free_port()
        self.config = os.path.join(folder, "mosquitto.conf")
        # Started by root, mosquitto would become another user, who cannot read the config.
        pathlib.Path(self.config).write_text(
            f"listener {self.port} 127.0.0.1\nallow_anonymous true\npersistence false\n"
            f"user {getpass.getuser()}\n")
        self.proc = None

    def url(self):
        return f"mqtt://127.0.0.1:{self.port}"

    def start(self):
        self.proc = subprocess.Popen(["/usr/sbin/mosquitto", "-c", self.config],
                                     stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        sys.exit("mosquitto did not start")


# A simulator and its service, in a home of its own as each instance of a lab has (a shared
# one would hand a restarted service another's sequence from the journal).
class Instrument:
    def __init__(self, args, lab_home, name, broker):
        self.args, self.name, self.broker = args, name, broker
        self.home = os.path.join(lab_home, name)
        os.makedirs(self.home)
        shutil.copy(os.path.join(lab_home, "registry.ini"), self.home)
        self.env = dict(os.environ, GC6890_HOME=self.home)
        self.link = os.path.join(self.home, "gc")
        self.sim = self.service = None
        self.url = ""

    def start_sim(self, *options):
        self.sim = start_sim(self.args.sim, self.link, *options, speed=SPEED)

    # Started without waiting; started() reads its URL.
    def start_service(self):
        self.service = subprocess.Popen(
            [self.args.gc6890, "serve", "--listen", "127.0.0.1:0", "--port", self.link,
             "--name", self.name, "--mqtt", self.broker.url()],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=self.env)

    def started(self):
        self.url = self.service.stdout.readline().decode().strip()
        if not self.url.startswith("http://"):
            sys.exit(f"gc6890 serve did not start for {self.name}: {self.url!r}")

    def post(self, path, body, kind="application/json"):
        token = pathlib.Path(self.home, "service-token").read_text().strip()
        request = urllib.request.Request(self.url.rstrip("/") + path, data=body.encode(),
                                         headers={"Authorization": "Bearer " + token,
                                                  "Content-Type": kind})
        return json.load(urllib.request.urlopen(request))


class LabPage(Page):
    def tile(self, name):
        return self.text_of(f'article.tile[data-name="{name}"]')

    def wait_tile(self, name, *words):
        self.wait(f"{words} on {name}'s tile", lambda: all(w in self.tile(name) for w in words))

    def alerts(self):
        return self.text("alerts")


def get(url):
    with urllib.request.urlopen(url, timeout=5) as answer:
        return answer.read().decode()


def metric(text, series):
    for line in text.splitlines():
        if line.startswith(series + " "):
            return float(line.split()[-1])
    return None


def main():
    args, home = test_setup("gc6890-lab-", 500)
    broker = Broker(home)
    names = [f"gc{i:02}" for i in range(1, COUNT + 1)]
    gcs = {name: Instrument(args, home, name, broker) for name in names}
    lab = driver = nowhere = None
    try:
        broker.start()
        # `lab status` against a broker that is not there, beside the rest: a clear word
        # and a failure within its connection time, no hang.
        nowhere = subprocess.Popen([args.gc6890, "lab", "status", "--mqtt",
                                    f"mqtt://127.0.0.1:{free_port()}"],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        # Everything starts at once: the simulators, then the services and the lab.
        sims = {n: subprocess.Popen([args.sim, "--speed", str(SPEED), "--link", gcs[n].link,
                                     *(["--missing-vial", "2"] if n == "gc02" else [])],
                                    stdout=subprocess.PIPE) for n in names}
        for n in names:
            sims[n].stdout.readline()
            gcs[n].sim = sims[n]
        for gc in gcs.values():
            gc.start_service()
        lab = subprocess.Popen([args.gc6890, "lab", "serve", "--listen", "127.0.0.1:0",
                                "--mqtt", broker.url()], stdout=subprocess.PIPE)
        lab_url = lab.stdout.readline().decode().strip()
        for gc in gcs.values():
            gc.started()
        driver = browser(os.path.join(home, "chromium"), size="1600,1300")
        page = LabPage(driver, args.shots)
        driver.get(lab_url)
        page.wait("16 online with their lines up",
                  lambda: page.text("summary").startswith(f"{COUNT} of {COUNT} online") and
                  all("line up" in page.tile(n) for n in names))
        page.wait_text("alerts", "Nothing needs a person.")
        link = driver.execute_script(
            "return document.querySelector('article.tile[data-name=\"gc05\"] a').href")
        assert link == gcs["gc05"].url, (link, gcs["gc05"].url)
        # The instrument service has no lab page: there, it would have no lab behind it.
        assert get_status(gcs["gc05"].url + "lab/") == 404

        # A run on gc01: its state, progress, time left, vial and method.
        gc01, gc02, gc03, gc04 = (gcs[n] for n in names[:4])
        gc01.post("/api/v1/methods/long", LONG, "text/plain")
        gc02.post("/api/v1/methods/short", SHORT, "text/plain")
        gc01.post("/api/v1/run", '{"method":"long","vial":3}')
        page.wait_tile("gc01", "RUN", "min left", "vial 3", "long")
        assert driver.execute_script(
            "return document.querySelector('article.tile[data-name=\"gc01\"] progress') !== null")

        # A sequence on gc02 pauses at its second row: vial 2 is not there.
        sequence = gc02.post("/api/v1/sequences?file=tray.toml", TRAY, "application/toml")["id"]
        page.wait_tile("gc02", "sequence paused: row 2 of 3, injection 2 of 3 (")
        page.wait_text("alerts", f"gc02: the sequence {sequence} is paused: ")

        # gc03's line cut (its simulator gone) and gc04's service killed outright (its last
        # will): each an alert within seconds, the newest first.
        stop(gc03.sim)
        page.wait_tile("gc03", "line down")
        gc04.service.send_signal(signal.SIGKILL)
        gc04.service.wait()
        page.wait_tile("gc04", "offline")
        page.wait("the alerts, newest first", lambda: re.findall(r"(gc\d\d): ", page.alerts()) ==
                  ["gc04", "gc03", "gc02"])
        assert "gc03: the line is down" in page.alerts(), page.alerts()
        assert "gc04: offline" in page.alerts(), page.alerts()
        assert "RUN" not in page.tile("gc04"), page.tile("gc04")  # nothing but offline
        page.wait("the summary", lambda: page.text("summary").startswith(
            f"{COUNT - 1} of {COUNT} online · 3 need a person"))
        page.shot("lab")
        page.click("compact")
        page.wait("compact tiles", lambda: "vial" not in page.tile("gc01"))
        page.shot("lab-compact")
        page.click("compact")

        # The JSON and the metrics say the same.
        seen = json.loads(get(lab_url + "api/v1/lab"))
        assert [(a["instrument"], a["kind"]) for a in seen["alerts"]] == [
            ("gc04", "offline"), ("gc03", "line_down"), ("gc02", "sequence_paused")], seen["alerts"]
        # gc02's sequence where it stands, its method and the last vial injected (not vial 2).
        paused = next(i for i in seen["instruments"] if i["name"] == "gc02")
        assert paused["sequence"]["reason"], paused
        assert (paused["sequence"], paused["method"], paused["run_length_min"], paused["vial"]) == (
            {"id": sequence, "name": "tray", "state": "paused", "reason": paused["sequence"]["reason"],
             "row": 2, "rows": 3, "injection": 2, "injections": 3}, "short", 0.5, 1), paused
        text = get(lab_url + "metrics")
        for series, value in (('gc6890_lab_up{instrument="gc04"}', 0),
                              ('gc6890_lab_line_up{instrument="gc03"}', 0),
                              ('gc6890_lab_sequence_paused{instrument="gc02"}', 1),
                              ('gc6890_lab_up{instrument="gc05"}', 1)):
            assert metric(text, series) == value, (series, text)

        # The terminal's table says the same, from the broker's retained topics.
        table = subprocess.run([args.gc6890, "lab", "status", "--mqtt", broker.url()],
                               capture_output=True, text=True, timeout=30)
        print(table.stdout)
        assert table.returncode == 0, table.stderr
        assert re.search(r"^gc04 +OFFLINE", table.stdout, re.M), table.stdout
        assert re.search(r"^gc01 +online +up .* run \d+% ", table.stdout, re.M), table.stdout
        assert "gc03  the line is down" in table.stdout, table.stdout

        # Both back: their alerts go, their tiles recover.
        gc03.start_sim()
        gc04.start_service()
        gc04.started()
        page.wait_tile("gc03", "line up")
        page.wait_tile("gc04", "line up")
        page.wait("only gc02's pause left",
                  lambda: re.findall(r"(gc\d\d): ", page.alerts()) == ["gc02"])

        # A broker outage: the banner, and meanwhile the sequence is aborted; back, the
        # page catches up from what the services publish again.
        broker.proc.send_signal(signal.SIGTERM)
        broker.proc.wait()
        page.wait_text("banner", "The lab service has lost the broker")
        assert get_status(lab_url + "healthz") == 503
        page.shot("lab-broker-lost")
        gc02.post(f"/api/v1/sequences/{sequence}/abort", "")
        broker.start()
        page.wait("the banner gone", lambda: not page.text("banner"))
        page.wait_text("alerts", "Nothing needs a person.")
        page.wait("every tile back", lambda: all("line up" in page.tile(n) for n in names))
        assert "sequence" not in page.tile("gc02"), page.tile("gc02")
        # The sequence's end replaced the pause: aborted, at no row.
        ended = next(i for i in json.loads(get(lab_url + "api/v1/lab"))["instruments"]
                     if i["name"] == "gc02")["sequence"]
        assert (ended["state"], ended["row"]) == ("aborted", None), ended
        assert get_status(lab_url + "healthz") == 200
        # The broker's absence and the page's own are the only errors.
        errors = [e for e in page.errors() if "net::ERR" not in e]
        assert errors == [], errors

        out, err = nowhere.communicate(timeout=30)
        assert nowhere.returncode == 1 and "cannot reach the broker" in err, (
            nowhere.returncode, out, err)
    finally:
        if driver:
            driver.quit()
        for proc in [lab, nowhere, broker.proc] + [p for gc in gcs.values()
                                                   for p in (gc.service, gc.sim)]:
            if proc and proc.poll() is None:
                proc.kill()
                proc.wait()
        shutil.rmtree(home, ignore_errors=True)
    print("lab page: all states seen; screenshots in", args.shots)


def get_status(url):
    try:
        with urllib.request.urlopen(url, timeout=5) as answer:
            return answer.status
    except urllib.error.HTTPError as refused:
        return refused.code


if __name__ == "__main__":
    main()
