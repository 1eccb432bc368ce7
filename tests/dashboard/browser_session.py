# What the browser tests share: the simulator and other programs started and stopped by
# their process, headless Chromium under Selenium, and a page waited on until a condition
# holds (never a fixed sleep), with a screenshot of the page when it does not.
import argparse
import os
import pathlib
import shutil
import signal
import subprocess
import tempfile

from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

WAIT_S = 30  # the longest any state may take to show on the page


# The test's arguments (the programs and the screenshots' folder, made) and a fresh home
# whose programs poll the instrument every `status_ms`; the services and the simulators
# (their lock files) find their folders there.
def test_setup(prefix, status_ms):
    parser = argparse.ArgumentParser()
    for option in ("--gc6890", "--sim", "--shots"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    os.makedirs(args.shots, exist_ok=True)
    home = tempfile.mkdtemp(prefix=prefix)
    os.environ.update(GC6890_HOME=home, XDG_RUNTIME_DIR=os.path.join(home, "run"))
    os.makedirs(os.environ["XDG_RUNTIME_DIR"], mode=0o700)
    pathlib.Path(home, "registry.ini").write_text(
        f"[Inlets\\Hubrel\\System Timings]\nStatus Frequency={status_ms}\n")
    return args, home


# gc6890-sim serving `link`, 10 times real speed unless `options` say otherwise; returns
# once the line is there.
def start_sim(sim, link, *options, speed=10):
    proc = subprocess.Popen([sim, "--speed", str(speed), "--link", link, *options],
                            stdout=subprocess.PIPE)
    proc.stdout.readline()  # the device path: the line is there
    return proc


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=30)


# `trusted`: the public key (base64 SHA-256) of the one certificate trusted besides the
# system's CAs; every other certificate error still stops the page.
def browser(profile, trusted=None, size="1280,1120"):
    options = webdriver.ChromeOptions()
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", f"--window-size={size}",
                 "--force-device-scale-factor=0.8", f"--user-data-dir={profile}"):
        options.add_argument(flag)
    if trusted:
        options.add_argument(f"--ignore-certificate-errors-spki-list={trusted}")
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    service = Service(executable_path=shutil.which("chromedriver") or "/usr/bin/chromedriver")
    return webdriver.Chrome(options=options, service=service)


class Page:
    def __init__(self, driver, shots):
        self.driver = driver
        self.shots = shots

    def text(self, element_id):
        try:
            return self.driver.find_element(By.ID, element_id).text
        except StaleElementReferenceException:
            return ""

    # The visible text of the first element `selector` finds, read in one step (a page that
    # redraws often cannot make it stale); "" when there is none.
    def text_of(self, selector):
        return self.driver.execute_script(
            "const e = document.querySelector(arguments[0]); return e ? e.innerText : '';",
            selector)

    def wait(self, what, condition):
        try:
            return WebDriverWait(self.driver, WAIT_S, 0.1).until(lambda d: condition())
        except Exception:
            self.shot("failed")
            raise AssertionError(f"not seen within {WAIT_S} s: {what}")

    def wait_text(self, element_id, *words):
        self.wait(f"{words} in #{element_id}", lambda: all(w in self.text(element_id) for w in words))

    def shot(self, name, element_id=None):
        path = os.path.join(self.shots, name + ".png")
        if element_id:
            self.driver.find_element(By.ID, element_id).screenshot(path)
            return
        self.driver.execute_script("window.scrollTo(0, 0)")
        self.driver.save_screenshot(path)

    def click(self, element_id):
        self.driver.find_element(By.ID, element_id).click()

    def type(self, element_id, words):
        field = self.driver.find_element(By.ID, element_id)
        field.clear()
        field.send_keys(words)

    # The console's errors since the last call, bar failed requests with an allowed HTTP
    # status (a refusal the page shows on purpose).
    def errors(self, allowed=()):
        return [e["message"] for e in self.driver.get_log("browser")
                if e["level"] == "SEVERE" and
                not any(f"status of {code}" in e["message"] for code in allowed)]

    def states(self, selector):
        try:
            return [e.get_attribute("data-state") for e in
                    self.driver.find_elements(By.CSS_SELECTOR, selector)]
        except StaleElementReferenceException:  # redrawn meanwhile
            return []

    def enabled(self, element_id):
        return self.driver.find_element(By.ID, element_id).is_enabled()
