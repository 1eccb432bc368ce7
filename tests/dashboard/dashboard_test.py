#!/usr/bin/python3
# The dashboard in a real browser: headless Chromium driven by Selenium against
# `gc6890 serve` on a fast gc6890-sim, over HTTPS with a certificate the test makes from a
# CA of its own. One session walks through what a lab engineer does and saves a screenshot
# of each state in --shots.
import base64
import hashlib
import json
import os
import pathlib
import shutil
import ssl
import subprocess
import sys
import urllib.request

from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

from browser_session import Page, browser, start_sim, stop, test_setup

HERE = os.path.dirname(os.path.abspath(__file__))
SHARED_METHOD = pathlib.Path(HERE, "..", "service", "short_method.toml").read_text()
# A short run (instrument minutes; the simulator runs 10 times faster), with an oven ramp
# and a post-run.
GOOD_METHOD = (SHARED_METHOD.replace("run_length = 0.5", "run_length = 0.8")
               .replace("initial_time = 0.5", "initial_time = 0.2")
               .replace("ramps = []", "ramps = [ { rate = 30.0, final = 65.0, time = 0.1 } ]")
               + "[gc.post_run]\nenabled = true\ntime = 0.5\noven_temperature = 50\n")
# The same with a run long enough to be stopped.
LONG_METHOD = GOOD_METHOD.replace("run_length = 0.8", "run_length = 30")
BAD_METHOD = GOOD_METHOD.replace("initial_temperature = 50.0", "initial_temperature = 5000.0")


# A sequence of rows (vial, method, sample) that skips the rows it cannot inject.
def tray(*rows):
    return 'name = "tray"\non_error = "skip"\n' + "".join(
        f'[[row]]\nvial = {vial}\nmethod = "{method}"\nsample = "{sample}"\n'
        for vial, method, sample in rows)


# A tray of three; the simulator has no vial 7, so its row is skipped.
TRAY = tray((1, "good", "blank"), (7, "good", "missing"), (2, "good", "standard 1"))
BAD_TRAY = tray((1, "good", "blank"), (7, "good", "missing"), (2, "nope", "standard 1"))


# A lab CA and the service's certificate for 127.0.0.1, made as docs/security.md says;
# the base64 SHA-256 of the certificate's public key, which the browser is told to trust.
def make_certificate(folder):
    def openssl(*arguments, **options):
        return subprocess.run(["openssl", *arguments], check=True, capture_output=True,
                              cwd=folder, **options).stdout
    ec = ("-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes")
    openssl("req", "-x509", *ec, "-days", "1", "-subj", "/CN=Lab CA", "-keyout", "ca-key.pem",
            "-out", "ca.pem")
    openssl("req", *ec, "-subj", "/CN=127.0.0.1", "-keyout", "server-key.pem", "-out",
            "server.csr")
    pathlib.Path(folder, "names").write_text("subjectAltName=IP:127.0.0.1\n")
    openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca-key.pem",
            "-days", "1", "-extfile", "names", "-out", "server.pem")
    key = openssl("x509", "-in", "server.pem", "-pubkey", "-noout")
    der = openssl("pkey", "-pubin", "-outform", "der", input=key)
    return base64.b64encode(hashlib.sha256(der).digest()).decode()


def start_service(gc6890, link, tls, port=0):
    proc = subprocess.Popen([gc6890, "serve", "--listen", f"127.0.0.1:{port}", "--port", link,
                             "--name", "GC 1", "--tls-cert", os.path.join(tls, "server.pem"),
                             "--tls-key", os.path.join(tls, "server-key.pem")],
                            stdout=subprocess.PIPE)
    url = proc.stdout.readline().decode().strip()
    if not url.startswith("https://"):
        sys.exit(f"gc6890 serve did not start: {url!r}")
    return proc, url


# The controls that change something, enabled for an operator while no sequence runs.
OPERATOR_CONTROLS = ("run-submit", "stop", "reset", "zones-on", "zones-off", "upload-submit",
                     "sequence-submit")


# A new account's token: the last word of what `gc6890 user add` prints.
def add_user(gc6890, name, role):
    made = subprocess.run([gc6890, "user", "add", name, "--role", role], check=True,
                          capture_output=True, text=True)
    return made.stdout.split()[-1]


class DashboardPage(Page):
    # Waits for the chart to gain a few points.
    def wait_readings(self, what):
        readings = lambda: int(self.text("chart-count").split()[0])
        first = readings()
        self.wait(what, lambda: readings() > first + 2)

    # Chooses the file in the form's file field and sends it.
    def submit(self, form, path):
        self.driver.find_element(By.ID, form + "-file").send_keys(path)
        self.click(form + "-submit")

    def run_states(self):
        return self.states("#run-states li")


def main():
    args, home = test_setup("gc6890-dashboard-", 300)
    files = {}
    for name, text in (("good", GOOD_METHOD), ("long", LONG_METHOD), ("bad", BAD_METHOD),
                       ("tray", TRAY), ("bad-tray", BAD_TRAY)):
        files[name] = os.path.join(home, name + ".toml")
        pathlib.Path(files[name]).write_text(text)

    link = os.path.join(home, "gc")
    tls = os.path.join(home, "tls")
    os.makedirs(tls)
    trusted = make_certificate(tls)
    lab_ca = ssl.create_default_context(cafile=os.path.join(tls, "ca.pem"))
    sim = service = driver = None
    try:
        sim = start_sim(args.sim, link, "--missing-vial", "7")
        service, url = start_service(args.gc6890, link, tls)
        driver = browser(os.path.join(home, "chromium"), trusted)
        page = DashboardPage(driver, args.shots)
        driver.get(url)
        page.wait_text("line", "line up")
        page.wait_text("identity", "firmware")
        assert page.errors() == [], page.errors()

        # The simulator's own change: the zones go off (asked without the page), the oven
        # cools and the GC says it is not ready; the page shows it.
        token = pathlib.Path(home, "service-token").read_text().strip()
        request = urllib.request.Request(url + "api/v1/zones", data=b'{"on":false}',
                                         headers={"Authorization": "Bearer " + token})
        urllib.request.urlopen(request, context=lab_ca).read()
        page.wait_text("alerts", "Not ready")
        page.wait_readings("the chart gains points")
        page.shot("status")

        # A wrong token: the service's refusal on the page.
        page.type("token", "not-the-token")
        page.click("token-form-keep")
        page.click("zones-on")
        page.wait_text("message", "needs the service's token")
        page.shot("refused")
        page.type("token", token)
        page.click("token-form-keep")
        page.click("zones-on")
        page.wait_text("message", "done")

        # Accounts: a viewer's token names who watches and disables every control that
        # changes something, while the events flow on; an operator's enables them again,
        # and the session goes on with it.
        page.type("token", add_user(args.gc6890, "ana", "viewer"))
        page.click("token-form-keep")
        page.wait_text("whoami", "ana", "viewer")
        page.wait("a viewer's controls disabled",
                  lambda: not any(page.enabled(c) for c in OPERATOR_CONTROLS))
        page.wait_readings("events for a viewer")
        page.shot("viewer", "control-panel")
        page.type("token", add_user(args.gc6890, "otto", "operator"))
        page.click("token-form-keep")
        page.wait_text("whoami", "otto", "operator")
        page.wait("an operator's controls enabled",
                  lambda: all(page.enabled(c) for c in OPERATOR_CONTROLS))

        # A bad method: its line and key; nothing stored.
        page.submit("upload", files["bad"])
        page.wait_text("upload-result", "Line 6", "gc.oven.initial_temperature")
        page.shot("upload-error")

        # A good one: its summary, then loaded with the download's lines counted.
        page.submit("upload", files["good"])
        page.wait_text("summary-inlets", "front: split")
        page.click("load")
        page.wait_text("load-state", "Loaded good")
        bar = driver.find_element(By.ID, "load-progress")
        assert bar.get_attribute("value") == bar.get_attribute("max") != "1", bar.get_attribute("max")
        page.shot("loaded")

        # A run from the page: run, post-run and back to idle (pre-run below).
        Select(driver.find_element(By.ID, "run-method-choice")).select_by_value("good")
        page.type("vial", "3")
        page.click("run-submit")
        page.wait("the run", lambda: "run" in page.run_states())
        page.shot("run")
        page.wait("run, post-run and idle",
                  lambda: page.run_states()[-3:] == ["run", "post-run", "idle"])
        assert "3" == page.text("sampler-vial")
        page.shot("dashboard")

        # Stop: a long run ends early.
        page.submit("upload", files["long"])
        page.wait_text("summary-title", "long")
        Select(driver.find_element(By.ID, "run-method-choice")).select_by_value("long")
        page.click("run-submit")
        page.wait("the long run", lambda: page.run_states()[-1:] == ["run"])
        page.wait_text("alerts", "Not ready while the run goes on")  # the GC gives no reason
        page.click("stop")
        page.wait_text("message", "stop done")
        page.wait("idle after the stop", lambda: page.run_states()[-1:] == ["idle"])

        # A sequence: a bad file shows its line and key; a good one is paused during its
        # first run (after that run's record), resumed, and ends with the missing vial skipped.
        page.submit("sequence", files["bad-tray"])
        page.wait_text("sequence-result", "Line 11", "row[3].method")
        page.submit("sequence", files["tray"])
        page.wait_text("sequence-step", "following the run")
        page.wait_text("run-method", "good · vial 1")  # the sequence's run shows as any other
        page.click("sequence-pause")
        page.wait("paused", lambda: page.states("#sequence-state") == ["paused"])
        # A wait, not a look: the rows may be redrawn just then.
        page.wait("the rows when paused",
                  lambda: page.states("#sequence-rows tr") == ["done", "pending", "pending"])
        assert page.enabled("sequence-resume") and not page.enabled("sequence-pause")
        page.wait_text("sequence-reason", "Paused:")
        page.shot("sequence-paused", "sequence-panel")
        page.click("sequence-resume")
        page.wait("finished", lambda: page.states("#sequence-state") == ["finished"])
        page.wait("the rows' end states",
                  lambda: page.states("#sequence-rows tr") == ["done", "skipped", "done"])
        assert not page.enabled("sequence-abort") and page.enabled("sequence-submit")
        page.shot("sequence", "sequence-panel")

        # The simulator gone: "line down"; back: "line up", this time a GC that goes to
        # pre-run by itself.
        stop(sim)
        page.wait_text("line", "line down")
        page.shot("line-down")
        sim = start_sim(args.sim, link, "--auto-prep-run")
        page.wait_text("line", "line up")
        page.wait("pre-run", lambda: page.run_states()[-1:] == ["pre-run"])

        # The service restarted: the page says it is reconnecting, then carries on.
        port = int(url.rstrip("/").rsplit(":", 1)[1])
        stop(service)
        page.wait_text("connection", "reconnecting")
        page.shot("reconnecting")
        service, url = start_service(args.gc6890, link, tls, port)
        page.wait("the banner gone", lambda: not driver.find_element(By.ID, "connection").is_displayed())
        page.wait_readings("readings from the restarted service")
        page.wait_text("line", "line up")
        page.shot("reconnected")
        # The refusal, the bad upload and the restart (the stream refused while the
        # service stops, then no service at all) are the only errors.
        errors = [e for e in page.errors(allowed=(400, 401, 503)) if "net::ERR" not in e]
        assert errors == [], errors
    finally:
        if driver:
            driver.quit()
        for proc in (service, sim):
            if proc:
                stop(proc)
        shutil.rmtree(home, ignore_errors=True)
    print("dashboard: all states seen; screenshots in", args.shots)


if __name__ == "__main__":
    main()
