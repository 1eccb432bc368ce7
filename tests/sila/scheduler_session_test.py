#!/usr/bin/python3
# A scheduler's session with gc6890 serve --sila, written as a new user writes it from the
# standard and docs/sila.md: it finds the GC over DNS-SD (in network namespaces of the
# test's own, as the discovery test makes them) and trusts the CA the announcement carries,
# locks the GC, runs a three-row tray, pauses and resumes it, cancels an injection and
# unlocks. Meanwhile another door (the HTTP API, with a valid token) tries everything that
# would reach the instrument: all of it is refused but a stop, and the simulator's injection
# log holds the scheduler's vials only.
import base64
import json
import os
import pathlib
import subprocess
import sys
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from discovery_test import end_all, private_network, report, run, start_avahi, wait_for  # noqa: E402
from sila_client_test import (CANCEL, GC, LOCK, LOCK_KEY, METHOD, METHODS, SEQUENCES,  # noqa: E402
                              TOKEN_KEY, check, compile_protos)

LOCK_ID = "scheduler-7"
SEQUENCE_RUNNER = "io.gcsixeightninety/chromatography/SequenceRunner/v1"
CONTROLLER = "io.gcsixeightninety/chromatography/GasChromatographController/v1"
PAUSE = "/sila2.org.silastandard.core.commands.pausecontroller.v1.PauseController/"
# What the other door tries while the GC is locked: each would reach the instrument.
OTHER_DOOR = [("POST", "/api/v1/load", {"method": "tray"}),
              ("POST", "/api/v1/run", {"method": "tray", "vial": 9}),
              ("POST", "/api/v1/zones", {"on": False}),
              ("POST", "/api/v1/reset", {}),
              ("POST", "/api/v1/methods/other", METHOD),
              ("POST", "/api/v1/sequences?file=other.toml", '[[row]]\nvial = 9\nmethod = "tray"\n')]


class Http:
    """The HTTP door, as a LIMS or a person with the service's token uses it."""

    def __init__(self, url, token):
        self.url, self.token = url.rstrip("/"), token

    def request(self, method, path, body=None):
        data = None if body is None else (body if isinstance(body, str) else json.dumps(body))
        request = urllib.request.Request(self.url + path, method=method,
                                         data=None if data is None else data.encode(),
                                         headers={"Authorization": "Bearer " + self.token})
        try:
            with urllib.request.urlopen(request, timeout=20) as answer:
                return answer.status, json.loads(answer.read() or b"{}")
        except urllib.error.HTTPError as error:
            return error.code, json.loads(error.read() or b"{}")

    def refused_while_locked(self, when):
        for method, path, body in OTHER_DOOR:
            status, answer = self.request(method, path, body)
            # The lock's identifier is the holder's secret: the reason names its address.
            check(status == 409 and "locked by the SiLA 2 client at" in answer.get("reason", "") and
                  "locked_until" in answer, f"{when}: {method} {path} refused: {status} {answer}")


def session(args, home, address, ca, http):
    import grpc
    import SiLAFramework_pb2 as fw
    import AuthorizationService_pb2 as auth
    import MethodProvider_pb2 as mp
    import GasChromatographController_pb2 as gcc
    import LockController_pb2 as lc
    import CancelController_pb2 as cc
    import PauseController_pb2 as pc
    import SequenceRunner_pb2 as sr

    channel = grpc.secure_channel(address, grpc.ssl_channel_credentials(ca))
    token = [(TOKEN_KEY, auth.Metadata_AccessToken(
        AccessToken=fw.String(value=http.token)).SerializeToString())]
    holder = token + [(LOCK_KEY, lc.Metadata_LockIdentifier(
        LockIdentifier=fw.String(value=LOCK_ID)).SerializeToString())]

    def call(path, request, response, metadata=()):
        return channel.unary_unary(path, request_serializer=request.SerializeToString,
                                   response_deserializer=response.FromString)(
            request, timeout=30, metadata=list(metadata))

    def stream(path, uuid, response):
        return channel.unary_stream(path, request_serializer=uuid.SerializeToString,
                                    response_deserializer=response.FromString)(uuid, timeout=120)

    def error_of(path, uuid, response):
        try:
            call(path, uuid, response)
        except grpc.RpcError as error:
            return fw.SiLAError.FromString(base64.b64decode(error.details()))
        return None

    def steps_until(uuid, step_id):
        steps = []
        for step in stream(SEQUENCES + "RunSequence_Intermediate", uuid,
                           sr.RunSequence_IntermediateResponses):
            steps.append(step.StepId.value)
            if step.StepId.value == step_id:
                break
        return steps

    def injected():
        words = pathlib.Path(home, "injections").read_text().split()
        return " ".join(words[1::2])

    # The methods first: a tray's (7 s runs at the simulator's speed) and a long hold.
    for name, content in (("tray", METHOD.replace("0.5", "7.0")),
                          ("hold", METHOD.replace("initial_time = 0.5", "initial_time = 30.0"))):
        call(METHODS + "UploadMethod", mp.UploadMethod_Parameters(
            Name=fw.String(value=name), Content=fw.String(value=content)),
            mp.UploadMethod_Responses, token)

    call(LOCK + "LockServer", lc.LockServer_Parameters(
        LockIdentifier=fw.String(value=LOCK_ID), Timeout=fw.Integer(value=600)),
        lc.LockServer_Responses, token)
    http.refused_while_locked("locked")

    tray = 'name = "scheduler tray"\non_error = "pause"\n' + "".join(
        f'[[row]]\nvial = {vial}\nmethod = "tray"\n' for vial in (1, 2, 3))
    uuid = call(SEQUENCES + "RunSequence", sr.RunSequence_Parameters(
        Name=fw.String(value="tray.toml"), Content=fw.String(value=tray)),
        fw.CommandConfirmation, holder).commandExecutionUUID
    steps_until(uuid, "injected")
    http.refused_while_locked("in the tray's first run")
    execution = pc.DataType_UUID(UUID=fw.String(value=uuid.value))
    call(PAUSE + "Pause", pc.Pause_Parameters(CommandExecutionUUID=execution),
         pc.Pause_Responses, token)
    steps = steps_until(uuid, "paused")
    check(steps[-3:] == ["run_ended", "record_written", "paused"] and injected() == "1",
          f"paused after the first row's record: {steps[-3:]}, vials injected {injected()!r}")
    call(PAUSE + "Resume", pc.Resume_Parameters(CommandExecutionUUID=execution),
         pc.Resume_Responses, holder)
    steps = steps_until(uuid, "finished")
    result = call(SEQUENCES + "RunSequence_Result", uuid, sr.RunSequence_Responses)
    check(result.FinalState.value == "finished" and len(result.ResultsFolders) == 3 and
          steps.count("record_written") == 3, f"the tray finished with three records: {steps}")

    uuid = call(GC + "Inject", gcc.Inject_Parameters(
        MethodName=fw.String(value="hold"), Vial=fw.Integer(value=4), Volume=fw.Real(value=1.0)),
        fw.CommandConfirmation, holder).commandExecutionUUID
    next(c for c in stream(GC + "Inject_Intermediate", uuid, gcc.Inject_IntermediateResponses)
         if c.RunState.value == "Run")
    call(CANCEL + "CancelCommand", cc.CancelCommand_Parameters(
        CommandExecutionUUID=cc.DataType_UUID(UUID=fw.String(value=uuid.value))),
        cc.CancelCommand_Responses, token)
    list(stream(GC + "Inject_Info", uuid, fw.ExecutionInfo))
    error = error_of(GC + "Inject_Result", uuid, gcc.Inject_Responses)
    check(error is not None and error.definedExecutionError.errorIdentifier ==
          CONTROLLER + "/DefinedExecutionError/Cancelled",
          f"the cancelled injection ends with Cancelled: {error}")

    # A stop is taken from any door, locked or not.
    status, _ = http.request("POST", "/api/v1/stop")
    check(status == 202, f"the other door's stop is taken while locked: {status}")
    call(LOCK + "UnlockServer", lc.UnlockServer_Parameters(
        LockIdentifier=fw.String(value=LOCK_ID)), lc.UnlockServer_Responses, token)
    status, answer = http.request("POST", "/api/v1/zones", {"on": True})
    check(status == 202, f"unlocked, the other door is taken again: {status} {answer}")
    check(injected() == "1 2 3 4", f"the instrument injected the scheduler's vials only: "
                                   f"{injected()!r}")


def inside(args):
    home, bus = private_network("gc6890-scheduler-")
    compile_protos(args.proto, os.path.join(home, "gen"))
    link = os.path.join(home, "gc")
    sim = subprocess.Popen([args.sim, "--speed", "60", "--link", link,
                            "--injection-log", os.path.join(home, "injections")],
                           stdout=subprocess.PIPE)
    sim.stdout.readline()
    errors = open(os.path.join(home, "serve.log"), "wb")
    serve = subprocess.Popen([args.gc6890, "serve", "--listen", "127.0.0.1:0", "--port", link,
                              "--name", "GC 4", "--sila", "0"],
                             stdout=subprocess.PIPE, stderr=errors)
    avahi = None
    try:
        url = serve.stdout.readline().decode().strip()
        serve.stdout.readline()
        avahi = start_avahi(home)
        # The scheduler knows nothing but the service type: the first server found is ours,
        # its CA one PEM line a TXT entry.
        found = wait_for(lambda f: bool(f))
        check(found is not None, f"a SiLA 2 server is found: {found}")
        if found:
            port, txt = next(iter(found.values()))
            ca = "\n".join(txt[f"ca{i}"] for i in range(len(txt)) if f"ca{i}" in txt) + "\n"
            token = pathlib.Path(home, "service-token").read_text().strip()
            session(args, home, f"127.0.0.1:{port}", ca.encode(), Http(url, token))
    finally:
        log = end_all(serve, (avahi, bus, sim), home)
    return report(log)


if __name__ == "__main__":
    run(inside)
