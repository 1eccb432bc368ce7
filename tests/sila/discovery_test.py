#!/usr/bin/python3
# gc6890 serve --sila found over mDNS/DNS-SD as a lab's client finds it: avahi-browse on a
# network of the test's own. The test runs itself again inside new network and mount
# namespaces (unshare, as root like CI): a loopback with the MULTICAST flag is the whole
# network, a private system bus (dbus-daemon with its own configuration) and an avahi-daemon
# on it. It checks, in order:
#   - a server started before the daemon says it waits for one, and is announced once the
#     daemon runs: instance name = server UUID, the port it listens on, the TXT keys, the CA
#     one PEM line per entry;
#   - SetServerName changes the announced server_name;
#   - a restarted daemon gets the announcement again (with the new name);
#   - SIGTERM withdraws it.
import argparse
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from sila_client_test import (SERVICE, check, compile_protos, failures, passes,  # noqa: E402
                              start, stop)

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path={path}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
"""
# IPv4 only: one answer per service to read. No host information of ours is published.
AVAHI_CONFIG = """[server]
use-ipv4=yes
use-ipv6=no
[publish]
publish-hinfo=no
publish-workstation=no
"""


def run_inside_namespaces():
    """Runs this script again in new network and mount namespaces; returns its exit code."""
    try:
        return subprocess.run(["unshare", "--net", "--mount", sys.executable, *sys.argv,
                               "--inside"]).returncode
    except OSError as error:
        sys.exit(f"cannot run unshare: {error}")


def start_avahi(folder):
    log = open(os.path.join(folder, "avahi.log"), "ab")
    daemon = subprocess.Popen(["avahi-daemon", "-f", os.path.join(folder, "avahi.conf"),
                               "--no-chroot", "--no-drop-root", "--no-rlimits"],
                              stdout=log, stderr=log)
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline and daemon.poll() is None:
        if b"Server startup complete" in pathlib.Path(folder, "avahi.log").read_bytes():
            return daemon
        time.sleep(0.05)
    sys.exit("avahi-daemon did not start:\n" + pathlib.Path(folder, "avahi.log").read_text())


# avahi-browse -p quotes each TXT entry and escapes its bytes: \" and \\, and \DDD (decimal)
# for those outside printable ASCII, so that UTF-8 arrives byte by byte.
TXT_ENTRY = re.compile(rb'"((?:[^"\\]|\\.)*)"')
ESCAPE = re.compile(rb"\\([0-9]{3}|.)")


def unescape(entry):
    return ESCAPE.sub(lambda m: bytes([int(m[1])]) if len(m[1]) == 3 else m[1], entry)


def browse():
    """{instance: (port, {key: value})} of the _sila._tcp services resolved now."""
    out = subprocess.run(["avahi-browse", "-rpt", "_sila._tcp"], capture_output=True,
                         timeout=20).stdout
    found = {}
    for line in out.splitlines():
        fields = line.split(b";", 9)
        if fields[0] != b"=" or len(fields) < 10:
            continue
        entries = [unescape(e).decode() for e in TXT_ENTRY.findall(fields[9])]
        found[fields[3].decode()] = (int(fields[8]), dict(e.split("=", 1) for e in entries))
    return found


def wait_for(what, seconds=15):
    """The first browse result `what` accepts (or None when none does in time)."""
    deadline = time.monotonic() + seconds
    while True:
        found = browse()
        if what(found) or time.monotonic() > deadline:
            return found if what(found) else None
        time.sleep(0.2)


def private_network(prefix):
    """Inside the namespaces: the multicast loopback, a fresh /run, a home (GC6890_HOME) and
    a system bus of its own; returns the home and the bus's process."""
    subprocess.run(["ip", "link", "set", "lo", "up", "multicast", "on"], check=True)
    # The daemon's pid file and socket go to /run: a fresh one, this namespace's alone.
    subprocess.run(["mount", "-t", "tmpfs", "gc6890-test-run", "/run"], check=True)
    home = tempfile.mkdtemp(prefix=prefix)
    os.environ.update(GC6890_HOME=home, XDG_RUNTIME_DIR=os.path.join(home, "run"))
    os.makedirs(os.environ["XDG_RUNTIME_DIR"], mode=0o700)
    bus_path = os.path.join(home, "system_bus")
    pathlib.Path(home, "bus.conf").write_text(BUS_CONFIG.format(path=bus_path))
    pathlib.Path(home, "avahi.conf").write_text(AVAHI_CONFIG)
    os.environ["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=" + bus_path
    bus = subprocess.Popen(["dbus-daemon", "--config-file", os.path.join(home, "bus.conf"),
                            "--nofork", "--print-address"], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL)  # it cannot raise its file limit here
    bus.stdout.readline()  # the address: the bus takes connections
    return home, bus


def inside(args):
    home, bus = private_network("gc6890-discovery-")
    compile_protos(args.proto, os.path.join(home, "gen"))
    import grpc
    import SiLAFramework_pb2 as fw
    import SiLAService_pb2 as svc

    sim, serve, address = start(args.gc6890, args.sim, home,
                                open(os.path.join(home, "serve.log"), "wb"))
    link = os.path.join(home, "gc")
    avahi = None
    try:
        port = int(address.rsplit(":", 1)[1])
        uuid = pathlib.Path(home, "sila", "server-uuid").read_text().strip()
        ca_lines = pathlib.Path(home, "sila", "ca.pem").read_text().strip().splitlines()

        avahi = start_avahi(home)
        found = wait_for(lambda f: uuid in f)
        check(found is not None, f"the server is found by its UUID {uuid}: {found}")
        if found:
            announced_port, txt = found[uuid]
            check(announced_port == port, f"announced on its port {port}: {announced_port}")
            # The record's making is DiscoveryTxt's case: here it reaches the daemon whole.
            about = f"Gas chromatograph and its sampler on {link}, served by gc6890 serve"
            expected = {"version": "1.1", "server_name": "GC py", "description": about,
                        **{f"ca{i}": line for i, line in enumerate(ca_lines)}}
            check(txt == expected, f"the TXT record, the CA one PEM line per entry: {txt}")

        channel = grpc.secure_channel(address, grpc.ssl_channel_credentials(
            pathlib.Path(home, "sila", "ca.pem").read_bytes()))
        new_name = "S\u00e4ule S\u00fcd"
        channel.unary_unary(SERVICE + "SetServerName",
                            request_serializer=svc.SetServerName_Parameters.SerializeToString,
                            response_deserializer=svc.SetServerName_Responses.FromString)(
            svc.SetServerName_Parameters(ServerName=fw.String(value=new_name)), timeout=10)
        found = wait_for(lambda f: uuid in f and f[uuid][1].get("server_name") == new_name)
        check(found is not None, f"SetServerName changes the announced server_name: {browse()}")

        avahi.send_signal(signal.SIGTERM)
        avahi.wait(timeout=15)
        avahi = start_avahi(home)
        found = wait_for(lambda f: uuid in f and f[uuid][1].get("server_name") == new_name)
        check(found is not None, "a restarted daemon gets the announcement again")

        stop(serve)
        found = wait_for(lambda f: uuid not in f)
        check(found is not None, "SIGTERM withdraws the announcement")
    finally:
        for process in (serve, avahi, bus, sim):
            if process:
                stop(process)
        log = pathlib.Path(home, "serve.log").read_text()
        shutil.rmtree(home, ignore_errors=True)
    check(serve.returncode == 0, f"the service stopped cleanly on SIGTERM ({serve.returncode})")
    check("SiLA 2 discovery: waiting for the Avahi daemon" in log,
          "a server started before the daemon says it waits for one")
    if failures:
        print("gc6890 serve's log:\n" + log)
    print(f"{len(passes)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for option in ("--gc6890", "--sim", "--proto"):
        parser.add_argument(option, required=True)
    parser.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    sys.exit(inside(args) if args.inside else run_inside_namespaces())
