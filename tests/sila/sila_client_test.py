#!/usr/bin/python3
# gc6890 serve --sila from a second, independent client: Debian's python3-grpcio, with the
# message modules compiled by protoc from our .proto files when the test runs and every RPC
# called by its path, as a client written from the standard alone would. It takes a
# scheduler's way to a result (a method uploaded and injected); locks, refusals and errors
# on the way are the C++ cases' (tests/sila/*_test.cpp).
import argparse
import json
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile

import grpc

HERE = os.path.dirname(os.path.abspath(__file__))
METHOD = pathlib.Path(HERE, "..", "service", "short_method.toml").read_text()
SERVICE = "/sila2.org.silastandard.core.silaservice.v1.SiLAService/"
METHODS = "/sila2.io.gcsixeightninety.chromatography.methodprovider.v1.MethodProvider/"
TOKEN_KEY = "sila-org.silastandard-core-authorizationservice-v1-metadata-accesstoken-bin"
GC = "/sila2.io.gcsixeightninety.chromatography.gaschromatographcontroller.v1.GasChromatographController/"

passes, failures = [], []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what)
    (passes if condition else failures).append(what)


def compile_protos(proto_dir, out):
    os.makedirs(out)
    protos = sorted(str(p) for p in pathlib.Path(proto_dir).glob("*.proto"))
    subprocess.run(["protoc", "-I", proto_dir, f"--python_out={out}", *protos], check=True)
    sys.path.insert(0, out)


def start(gc6890, sim, home, errors=None):
    """The simulator on home/gc and gc6890 serve --sila on it (its stderr to `errors`);
    returns both processes and the SiLA 2 server's address."""
    link = os.path.join(home, "gc")
    sim_proc = subprocess.Popen([sim, "--speed", "60", "--link", link], stdout=subprocess.PIPE)
    sim_proc.stdout.readline()  # the device path: the line is there
    proc = subprocess.Popen([gc6890, "serve", "--listen", "127.0.0.1:0", "--port", link,
                             "--name", "GC py", "--sila", "0"], stdout=subprocess.PIPE,
                            stderr=errors)
    url = proc.stdout.readline().decode().strip()
    sila = proc.stdout.readline().decode().strip()
    prefix = "SiLA 2 server on "
    if not url.startswith("http://") or not sila.startswith(prefix):
        sys.exit(f"gc6890 serve did not start: {url!r} {sila!r}")
    return sim_proc, proc, sila[len(prefix):]


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=30)


def main():
    parser = argparse.ArgumentParser()
    for option in ("--gc6890", "--sim", "--proto"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    home = tempfile.mkdtemp(prefix="gc6890-sila-")
    os.environ.update(GC6890_HOME=home, XDG_RUNTIME_DIR=os.path.join(home, "run"))
    os.makedirs(os.environ["XDG_RUNTIME_DIR"], mode=0o700)
    compile_protos(args.proto, os.path.join(home, "gen"))
    import SiLAFramework_pb2 as fw
    import SiLAService_pb2 as svc
    import AuthorizationService_pb2 as auth
    import MethodProvider_pb2 as mp
    import GasChromatographController_pb2 as gcc

    sim_proc, proc, address = start(args.gc6890, args.sim, home)
    try:
        ca = pathlib.Path(home, "sila", "ca.pem").read_bytes()
        channel = grpc.secure_channel(address, grpc.ssl_channel_credentials(ca))

        def call(path, request, response, metadata=()):
            return channel.unary_unary(path, request_serializer=request.SerializeToString,
                                       response_deserializer=response.FromString)(
                request, timeout=10, metadata=list(metadata))

        def token(value):
            message = auth.Metadata_AccessToken(AccessToken=fw.String(value=value))
            return [(TOKEN_KEY, message.SerializeToString())]

        name = call(SERVICE + "Get_ServerName", svc.Get_ServerName_Parameters(),
                    svc.Get_ServerName_Responses).ServerName.value
        check(name == "GC py", f"the server name is --name: {name!r}")

        upload = mp.UploadMethod_Parameters(Name=fw.String(value="py"),
                                            Content=fw.String(value=METHOD))
        service_token = pathlib.Path(home, "service-token").read_text().strip()
        run_length = call(METHODS + "UploadMethod", upload, mp.UploadMethod_Responses,
                          token(service_token)).RunLength.value
        check(run_length == 0.5, f"the upload answers the run length: {run_length}")

        # An observable command, an injection (the method loaded first), to its result: the
        # run followed to its end (a run shorter than the service's poll period, 5.5 s here,
        # is followed all the same), its record and the results folder written for it.
        confirmation = call(GC + "Inject", gcc.Inject_Parameters(
            MethodName=fw.String(value="py"), Vial=fw.Integer(value=4), Volume=fw.Real(value=2.5)),
            fw.CommandConfirmation, token(service_token))
        uuid = confirmation.commandExecutionUUID
        states = [r.RunState.value for r in channel.unary_stream(
            GC + "Inject_Intermediate", request_serializer=uuid.SerializeToString,
            response_deserializer=gcc.Inject_IntermediateResponses.FromString)(uuid, timeout=60)]
        check(states and states[0] == "Idle",
              f"Inject's intermediate responses follow the run state: {states}")
        result = call(GC + "Inject_Result", uuid, gcc.Inject_Responses)
        began, ended = ((t.year, t.month, t.day, t.hour, t.minute, t.second)
                        for t in (result.RunStart, result.RunEnd))
        check(2000 < began[0] and began <= ended, f"the run's start and end: {began} {ended}")
        folder = result.ResultsFolder.value
        written = json.loads(pathlib.Path(folder, "run.json").read_text()) \
            if folder.startswith(os.path.join(home, "results", "run-")) else {}
        check(written.get("vial") == 4 and written.get("volume") == 2.5 and
              written.get("record") == result.ExperimentRecord.value and
              "2.5" in result.ExperimentRecord.value,
              f"Inject's result is its record and its results folder: {folder}")
    finally:
        stop(proc)
        stop(sim_proc)
        shutil.rmtree(home, ignore_errors=True)
    check(proc.returncode == 0, f"the service stopped cleanly on SIGTERM ({proc.returncode})")
    print(f"{len(passes)} passed, {len(failures)} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
