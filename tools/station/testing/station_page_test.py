#!/usr/bin/python3
"""update-station's page in a real browser (headless Chromium through
chromedriver) against devsim devices on pseudo-terminals:

  - four devices: A comes back for a second update, B fails, C is paused while
    its first device updates and must not start its second until resumed, D is
    updated once; the tiles go through their states in order, progress changes
    without a reload, B's tile shows the device's status line, and the results
    table and the totals match the --log file;
  - a POST without the token, or from another Origin, changes nothing;
  - the station is stopped and started again: the page says the connection is
    lost, and reconnects to the new station;
  - Stop on the page ends the line once the running update has finished.

A screenshot of the page mid-run goes to the artifacts folder (the README's
picture is that file).

Usage: station_page_test.py --build BUILD --work FOLDER --artifacts FOLDER
"""

import argparse
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import time
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

# Generous: the machine running the tests may be loaded.
LIMIT = 120
SAMPLE_DEVICE = ["--target", "01:firmware", "--target", "02:firmware", "--target", "03:jtag:demo"]
# A device that lacks the file's second and third targets: its update fails.
FAILING_DEVICE = ["--target", "01:firmware"]


class Failure(Exception):
    pass


def wait_until(what, check, limit=LIMIT, step=0.1):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        value = check()
        if value:
            return value
        time.sleep(step)
    raise Failure("timed out waiting for " + what)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def socket_path(name):
    """The device's link, named as a bench's sockets are under /dev/serial/by-path,
    relative to the work folder (where the station runs)."""
    return "by-path/pci-0000:00:14.0-usb-0:%d:1.0-port0" % (ord(name) - ord("A") + 1)


class Line:
    """The devices and the station, started in the work folder."""

    def __init__(self, build, work):
        self.build = build
        self.work = work
        self.children = []
        os.makedirs(os.path.join(work, "by-path"))

    def device(self, name, options, updates):
        link = os.path.join(self.work, socket_path(name))
        child = subprocess.Popen(
            [os.path.join(self.build, "tools", "devsim"), "--link", link, "--baud", "57600",
             "--updates", str(updates), "--report", os.path.join(self.work, name + ".report")] + options,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.children.append(child)
        wait_until("device " + name, lambda: os.path.islink(link))
        return socket_path(name)

    def station(self, ports, listen, log):
        arguments = [os.path.join(self.build, "tools", "update-station"), "--file",
                     os.path.join(self.build, "samples", "sample.upd"), "--listen", listen,
                     "--log", log]
        for label, path in ports:
            arguments += ["--port", label + "=" + path]
        self.errors = os.path.join(self.work, "station-%d.err" % len(self.children))
        with open(self.errors, "w") as errors:
            child = subprocess.Popen(arguments, cwd=self.work, stdout=subprocess.PIPE,
                                     stderr=errors, text=True)
        self.children.append(child)
        first = child.stdout.readline()
        if "http://" + listen not in first:
            raise Failure("the station did not say where its page is: " + first + self.said())
        return child

    def said(self):
        with open(self.errors, encoding="utf-8", errors="replace") as errors:
            return errors.read()

    def close(self):
        for child in self.children:
            if child.poll() is None:
                child.send_signal(signal.SIGTERM)
        for child in self.children:
            try:
                child.wait(timeout=20)
            except subprocess.TimeoutExpired:
                child.kill()


def log_ends(log):
    if not os.path.exists(log):
        return []
    with open(log, encoding="utf-8") as lines:
        return [entry for entry in map(json.loads, lines) if entry["entry"] == "end"]


def tiles(browser):
    return browser.execute_script(
        "return [...document.querySelectorAll('.tile')].map(tile => ({"
        "state: tile.dataset.state, label: tile.querySelector('.label').textContent,"
        "progress: tile.querySelector('.progress').textContent,"
        "status: tile.querySelector('.status').textContent}));")


def tile(browser, label):
    for shown in tiles(browser):
        if shown["label"] == label:
            return shown
    return None


def post(url, origin, token):
    request = urllib.request.Request(url, data=b"{}", method="POST",
                                     headers={"Origin": origin, "X-Station-Token": token})
    try:
        with urllib.request.urlopen(request) as reply:
            return reply.status
    except urllib.error.HTTPError as error:
        return error.code


def browser_of(artifacts):
    options = webdriver.ChromeOptions()
    for argument in ["--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1400,1000",
                     "--disable-dev-shm-usage"]:
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver",
                                            log_path=os.path.join(artifacts, "chromedriver.log")),
                            options=options)


def check(condition, text):
    if not condition:
        raise Failure(text)


def run(build, work, artifacts):
    line = Line(build, work)
    browser = browser_of(artifacts)
    try:
        listen = "127.0.0.1:%d" % free_port()
        page = "http://" + listen + "/"
        log = os.path.join(work, "line.log")
        links = {name: socket_path(name) for name in "ABCD"}
        station = line.station([(name, links[name]) for name in "ABCD"], listen, log)

        # Before any device is there, every tile waits.
        browser.get(page)
        browser.execute_script("window.notReloaded = true;")
        wait_until("four waiting tiles", lambda: [t["state"] for t in tiles(browser)] == ["waiting"] * 4)

        line.device("A", SAMPLE_DEVICE, 2)
        line.device("B", FAILING_DEVICE, 1)
        line.device("C", SAMPLE_DEVICE, 2)
        line.device("D", SAMPLE_DEVICE, 1)

        # A's states in order and its progress, as the page shows them live.
        states, progress = ["waiting"], set()
        paused = False
        shot = False
        end = time.monotonic() + LIMIT
        while len([e for e in log_ends(log) if e["port"] == links["A"]]) < 2 or not paused:
            check(time.monotonic() < end, "A's two devices and C's pause took too long: A went "
                  "through %s, C is %s" % (states, tile(browser, "C")))
            a = tile(browser, "A")
            if not states or states[-1] != a["state"]:
                states.append(a["state"])
            if a["state"] == "updating":
                progress.add(a["progress"])
            c = tile(browser, "C")
            if not paused and c["state"] == "updating":
                browser.find_element(By.CSS_SELECTOR, '.tile[data-port="2"] button.pause').click()
                paused = True
            if not shot and a["state"] == "updating" and tile(browser, "B")["state"] == "failed":
                browser.save_screenshot(os.path.join(artifacts, "station.png"))
                shot = True
            if station.poll() is not None:
                raise Failure("the station ended early: " + line.said())
            time.sleep(0.05)
        # The log is written before the page hears of the end.
        wait_until("A's second pass", lambda: tile(browser, "A")["state"] == "passed")
        if states[-1] != "passed":
            states.append("passed")
        check(states[:5] == ["waiting", "updating", "passed", "updating", "passed"],
              "A's tile went through %s" % states)
        check(len(progress) >= 3, "A's progress did not change live: %s" % progress)

        # B failed with the device's status line.
        b = wait_until("B's failure", lambda: tile(browser, "B")["state"] == "failed" and tile(browser, "B"))
        b_end = [e for e in log_ends(log) if e["port"] == links["B"]][0]
        check(b["status"] == b_end["status"] and b_end["exit"] == 1,
              "B's tile says %r, its log %r" % (b["status"], b_end["status"]))

        # C was paused while its first device updated: that one finished, the next
        # one is not started.
        wait_until("C's first device", lambda: [e for e in log_ends(log) if e["port"] == links["C"]])
        time.sleep(3)
        check(len([e for e in log_ends(log) if e["port"] == links["C"]]) == 1,
              "the paused port started its next device")
        check(tile(browser, "C")["state"] == "paused", "C's tile: %s" % tile(browser, "C"))
        browser.find_element(By.CSS_SELECTOR, '.tile[data-port="2"] button.pause').click()
        wait_until("C's second device", lambda: len([e for e in log_ends(log) if e["port"] == links["C"]]) == 2)
        wait_until("D's device", lambda: [e for e in log_ends(log) if e["port"] == links["D"]])

        # The results table and the totals are the log's.
        ends = log_ends(log)
        check(len(ends) == 6, "the log has %d ends" % len(ends))
        rows = wait_until("six results", lambda: (lambda r: len(r) == 6 and r)(browser.execute_script(
            "return [...document.querySelectorAll('#results tbody tr')].map(row => "
            "[row.dataset.start, row.dataset.port, row.children[2].textContent])")))
        logged = sorted([e["start"], e["port"], "passed" if e["exit"] == 0 else "failed"] for e in ends)
        check(sorted(rows) == logged, "results %s, log %s" % (rows, logged))
        passed = browser.find_element(By.ID, "total-passed").text
        failed = browser.find_element(By.ID, "total-failed").text
        check((passed, failed) == ("5", "1"), "totals %s passed, %s failed" % (passed, failed))
        check(browser.execute_script("return window.notReloaded === true;"), "the page was reloaded")

        # Controls from elsewhere change nothing: no token, another Origin.
        token = browser.find_element(By.CSS_SELECTOR, 'meta[name="station-token"]').get_attribute("content")
        status = browser.execute_script(
            "return fetch('/api/stop', {method: 'POST', body: '{}'}).then(reply => reply.status);")
        check(status == 403, "a POST without the token got %s" % status)
        check(post(page + "api/stop", "http://evil.example", token) == 403, "another Origin was obeyed")
        check(post(page + "api/ports/0/pause", "http://evil.example", token) == 403, "another Origin paused")
        state = json.loads(urllib.request.urlopen(page + "api/state").read())
        check(not state["stopping"] and not state["ports"][0]["paused"], "a refused POST changed the line")

        # The station goes and comes back: the page says so and follows the new one.
        station.send_signal(signal.SIGTERM)
        station.wait(timeout=LIMIT)
        wait_until("the lost connection notice",
                   lambda: "lost" in browser.find_element(By.ID, "connection").text)
        log2 = os.path.join(work, "line2.log")
        station = line.station([("E", line.device("E", SAMPLE_DEVICE, 2))], listen, log2)
        wait_until("the page of the new station", lambda: [t["label"] for t in tiles(browser)] == ["E"])

        # Stop lets the running update finish, then the line ends.
        wait_until("E updating", lambda: tile(browser, "E")["state"] == "updating")
        browser.find_element(By.ID, "stop-line").click()
        browser.switch_to.alert.accept()
        status = station.wait(timeout=LIMIT)
        ends = log_ends(log2)
        check(status == 0 and len(ends) == 1 and ends[0]["exit"] == 0,
              "after Stop: exit %s, log %s" % (status, ends))
        check(shot, "no screenshot was taken mid-run")
    finally:
        browser.quit()
        line.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--artifacts", required=True)
    arguments = parser.parse_args()
    shutil.rmtree(arguments.work, ignore_errors=True)
    os.makedirs(arguments.work)
    os.makedirs(arguments.artifacts, exist_ok=True)
    try:
        run(os.path.abspath(arguments.build), os.path.abspath(arguments.work),
            os.path.abspath(arguments.artifacts))
    except Failure as failure:
        print("station_page_test: FAILED: %s" % failure)
        print("station: 0 passed, 1 failed")
        return 1
    print("station_page_test: the page followed the line")
    print("station: 1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
