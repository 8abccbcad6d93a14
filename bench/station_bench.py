#!/usr/bin/python3
"""update-station against update-cli, end to end (a benchmark, not a test):

  1. eight devsim devices on a paced line (57600 baud) updated once each by
     update-cli with eight ports, then eight more through update-station with
     three clients following its event stream as a browser does; the slowest
     device's seconds (from each --log) are compared: the station's is to be
     within 1 % of update-cli's;
  2. the station's own CPU time while it waits for devices with three clients
     connected, over 20 seconds (user + system time from /proc).

Prints a Markdown table. Usage: station_bench.py --build BUILD [--work FOLDER]
(a native build with devsim, update-cli, update-station and the sample file).
"""

import argparse
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time
import urllib.request

DEVICES = 8
CLIENTS = 3
IDLE_SECONDS = 20
SAMPLE_DEVICE = ["--target", "01:firmware", "--target", "02:firmware", "--target", "03:jtag:demo"]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def devices(build, work, prefix):
    children, links = [], []
    for index in range(DEVICES):
        link = os.path.join(work, "%s%d" % (prefix, index))
        children.append(subprocess.Popen(
            [os.path.join(build, "tools", "devsim"), "--link", link, "--baud", "57600",
             "--updates", "1"] + SAMPLE_DEVICE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        links.append(link)
    for link in links:
        while not os.path.islink(link):
            time.sleep(0.05)
    return children, links


def slowest(log):
    with open(log, encoding="utf-8") as lines:
        ends = [entry for entry in map(json.loads, lines) if entry["entry"] == "end"]
    assert len(ends) == DEVICES and all(entry["exit"] == 0 for entry in ends), ends
    return max(entry["seconds"] for entry in ends)


def follow(url, stop):
    """A client of the event stream that reads everything, as a browser does."""
    with urllib.request.urlopen(url) as stream:
        while not stop.is_set() and stream.readline():
            pass


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def station(build, work, ports, log):
    listen = "127.0.0.1:%d" % free_port()
    arguments = [os.path.join(build, "tools", "update-station"), "-f",
                 os.path.join(build, "samples", "sample.upd"), "--listen", listen, "--log", log]
    for index, port in enumerate(ports):
        arguments += ["-p", "P%d=%s" % (index, port)]
    child = subprocess.Popen(arguments, cwd=work, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             text=True)
    child.stdout.readline()
    stop = threading.Event()
    clients = [threading.Thread(target=follow, args=("http://%s/api/events" % listen, stop), daemon=True)
               for _ in range(CLIENTS)]
    for client in clients:
        client.start()
    return child, listen, stop


def stop_station(child, listen):
    request = urllib.request.Request("http://%s/" % listen)
    page = urllib.request.urlopen(request).read().decode()
    token = page.split('name="station-token" content="', 1)[1].split('"', 1)[0]
    urllib.request.urlopen(urllib.request.Request(
        "http://%s/api/stop" % listen, data=b"{}", method="POST",
        headers={"Origin": "http://" + listen, "X-Station-Token": token}))
    child.wait(timeout=120)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--work", default="build/bench-work/station")
    arguments = parser.parse_args()
    build, work = os.path.abspath(arguments.build), os.path.abspath(arguments.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    sims, links = devices(build, work, "cli")
    cli_log = os.path.join(work, "cli.log")
    command = [os.path.join(build, "tools", "update-cli"), "-f",
               os.path.join(build, "samples", "sample.upd"), "--log", cli_log]
    for link in links:
        command += ["-p", link]
    subprocess.run(command, cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    for sim in sims:
        sim.wait()
    cli_slowest = slowest(cli_log)

    sims, links = devices(build, work, "station")
    station_log = os.path.join(work, "station.log")
    child, listen, stop = station(build, work, links, station_log)
    while not os.path.exists(station_log) or sum(
            1 for line in open(station_log) if '"entry":"end"' in line) < DEVICES:
        time.sleep(0.2)
    stop.set()
    stop_station(child, listen)
    for sim in sims:
        sim.wait()
    station_slowest = slowest(station_log)

    # Idle: ports that no device has come to yet, three clients connected.
    child, listen, stop = station(build, work, [os.path.join(work, "absent%d" % i) for i in range(DEVICES)],
                                  os.path.join(work, "idle.log"))
    time.sleep(2)
    before = cpu_seconds(child.pid)
    time.sleep(IDLE_SECONDS)
    idle = (cpu_seconds(child.pid) - before) / IDLE_SECONDS
    stop.set()
    child.send_signal(signal.SIGTERM)
    child.wait(timeout=60)

    ratio = station_slowest / cli_slowest
    print("| figure | value | compared with | ratio | target |")
    print("|---|---|---|---|---|")
    print("| slowest of %d devices, update-station with %d clients | %.3f s | update-cli %.3f s | %.3f | <= 1.01 |"
          % (DEVICES, CLIENTS, station_slowest, cli_slowest, ratio))
    print("| update-station idle, %d clients, %d ports waiting | %.2f %% of a core | | | |"
          % (CLIENTS, DEVICES, idle * 100))
    return 0 if ratio <= 1.01 else 1


if __name__ == "__main__":
    sys.exit(main())
