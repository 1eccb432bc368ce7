#!/usr/bin/env python3
"""Makes the fuzz harnesses' seed corpora from a simulator transcript.

Runs gc6890-sim --trace, drives a session over its pseudo-terminal (start-up echo tests,
identity, status, readings, the stored method read-back, the sampler), keeps the trace as
fuzz/transcripts/session.txt and cuts it into fuzz/corpus/<harness>/ files named by the
SHA-1 of their content, as libFuzzer names its own.

usage: fuzz/make_seeds.py PATH/TO/gc6890-sim     (needs python3-serial)
"""
import hashlib
import os
import pathlib
import subprocess
import sys

import serial

HERE = pathlib.Path(__file__).resolve().parent
COMMANDS = (
    [f'{a}HTEO "1234"' for a in ("CC", "GC", "S1", "S2", "SS", "OV", "DF", "IF", "C1", "A1", "V1", "DT", "AS")]
    + ["CCHTID", "GCHTRI", "GCHTRY", "GCHTST", "OVHTST", "C1HTPI ?", "C2HTPI ?", "C1HTFI ?", "GCHTCF ?",
       "IFHTCW ?", "IBHTCW ?", "ASHTCW ?", "GCHTRR", "CCHTMD ?"]
    + ["CCHTMD +"] * 40
    + ["CCHTPO 1", "01HTSTATUS", "01HTSETPTS 1,5,2,3,0,0,1,1", "01HTSINJECT 1", "01HTRTN_ALL", "GCHTPR",
       "GCHTSP", "CCHTMC", "CCHTPC 1", "GCHTQQ 1,2.50,text"]
)


def unescape(text):
    return text.encode().decode("unicode_escape").encode("latin-1")


def session(simulator):
    sim = subprocess.Popen([simulator, "--trace"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    device = sim.stdout.readline().decode().strip()
    port = serial.Serial(device, 9600, timeout=1)
    for command in COMMANDS:
        port.write(command.encode() + b"\n")
        port.readline()
    port.close()
    sim.terminate()
    _, trace = sim.communicate()
    return [(line[0], unescape(line[2:])) for line in trace.decode().splitlines() if line[:2] in ("> ", "< ")]


def save(harness, data):
    folder = HERE / "corpus" / harness
    folder.mkdir(parents=True, exist_ok=True)
    (folder / hashlib.sha1(data).hexdigest()).write_bytes(data)


def main():
    lines = session(sys.argv[1])
    (HERE / "transcripts").mkdir(exist_ok=True)
    (HERE / "transcripts" / "session.txt").write_bytes(b"".join(d.encode() + b" " + t + b"\n" for d, t in lines))
    for _, text in lines:
        save("command_string", text)
        save("command_type", text[:6])
        if text.startswith(b'HTCCMD C;"'):  # the method's own commands, one per seed
            for command in text[10:].rstrip(b'"').split(b";"):
                if command:
                    save("command_string", command)
    for direction, text in lines:
        if direction == "<" and b" " in text:
            values = text.split(b" ", 1)[1].count(b",") + 1
            save("reply_values", bytes([values - 1]) + text)
    # The method read-back as the GC sends it: the whole read, and each block alone.
    blocks = [t for d, t in lines if d == "<" and t.startswith(b"HTCCMD")]
    save("method_readback", b"\n".join(blocks))
    for block in blocks:
        save("method_readback", block)
    stream = b"".join(t + b"\n" for _, t in lines)
    for seed, start in enumerate(range(0, len(stream), 512)):
        save("line_reader", bytes([seed * 37 % 256]) + stream[start:start + 512])
    for method in (HERE.parent / "methods").glob("*.toml"):
        save("method_file", method.read_bytes())
    for store in (HERE / "transcripts").glob("registry*.ini"):
        save("settings_store", store.read_bytes())


if __name__ == "__main__":
    main()
