#!/usr/bin/python3
# gc6890 serve --sila from a second, independent client: Debian's python3-grpcio, with the
# message modules compiled by protoc from our .proto files when the test runs and every RPC
# called by its path, as a client written from the standard alone would.
import argparse
import base64
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
AUTHORIZATION = "/sila2.org.silastandard.core.authorizationservice.v1.AuthorizationService/"
METHODS = "/sila2.io.gcsixeightninety.chromatography.methodprovider.v1.MethodProvider/"
TOKEN_KEY = "sila-org.silastandard-core-authorizationservice-v1-metadata-accesstoken-bin"
LOCK = "/sila2.org.silastandard.core.lockcontroller.v1.LockController/"
LOCK_KEY = "sila-org.silastandard-core-lockcontroller-v1-metadata-lockidentifier-bin"
PROVIDER = "io.gcsixeightninety/chromatography/MethodProvider/v1"
CONTROLLER = "io.gcsixeightninety/chromatography/GasChromatographController/v1"
CANCEL = "/sila2.org.silastandard.core.commands.cancelcontroller.v1.CancelController/"
GC = "/sila2.io.gcsixeightninety.chromatography.gaschromatographcontroller.v1.GasChromatographController/"
SEQUENCES = "/sila2.io.gcsixeightninety.chromatography.sequencerunner.v1.SequenceRunner/"

passes, failures = [], []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what)
    (passes if condition else failures).append(what)


def compile_protos(proto_dir, out):
    os.makedirs(out)
    protos = sorted(str(p) for p in pathlib.Path(proto_dir).glob("*.proto"))
    subprocess.run(["protoc", "-I", proto_dir, f"--python_out={out}", *protos], check=True)
    sys.path.insert(0, out)


def start(gc6890, sim, home):
    link = os.path.join(home, "gc")
    sim_proc = subprocess.Popen([sim, "--speed", "60", "--link", link], stdout=subprocess.PIPE)
    sim_proc.stdout.readline()  # the device path: the line is there
    proc = subprocess.Popen([gc6890, "serve", "--listen", "127.0.0.1:0", "--port", link,
                             "--name", "GC py", "--sila", "0"], stdout=subprocess.PIPE)
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
    import LockController_pb2 as lc

    sim_proc, proc, address = start(args.gc6890, args.sim, home)
    try:
        ca = pathlib.Path(home, "sila", "ca.pem").read_bytes()
        channel = grpc.secure_channel(address, grpc.ssl_channel_credentials(ca))

        def call(path, request, response, metadata=()):
            return channel.unary_unary(path, request_serializer=request.SerializeToString,
                                       response_deserializer=response.FromString)(
                request, timeout=10, metadata=list(metadata))

        def sila_error(path, request, response, metadata=()):
            try:
                call(path, request, response, metadata)
            except grpc.RpcError as error:
                if error.code() != grpc.StatusCode.ABORTED:
                    return None
                return fw.SiLAError.FromString(base64.b64decode(error.details(), validate=True))
            return None

        def token(value):
            message = auth.Metadata_AccessToken(AccessToken=fw.String(value=value))
            return [(TOKEN_KEY, message.SerializeToString())]

        name = call(SERVICE + "Get_ServerName", svc.Get_ServerName_Parameters(),
                    svc.Get_ServerName_Responses).ServerName.value
        check(name == "GC py", f"the server name is --name: {name!r}")
        uuid = call(SERVICE + "Get_ServerUUID", svc.Get_ServerUUID_Parameters(),
                    svc.Get_ServerUUID_Responses).ServerUUID.value
        check(uuid == pathlib.Path(home, "sila", "server-uuid").read_text().strip(),
              "the UUID is the one kept in the home")
        features = [f.value for f in call(SERVICE + "Get_ImplementedFeatures",
                                          svc.Get_ImplementedFeatures_Parameters(),
                                          svc.Get_ImplementedFeatures_Responses).ImplementedFeatures]
        check("org.silastandard/core/SiLAService/v1" in features and PROVIDER in features,
              f"the implemented features: {features}")
        for feature in features:
            xml = call(SERVICE + "GetFeatureDefinition",
                       svc.GetFeatureDefinition_Parameters(FeatureIdentifier=fw.String(value=feature)),
                       svc.GetFeatureDefinition_Responses).FeatureDefinition.value
            check(xml.startswith("<?xml") and "<Feature" in xml, f"{feature}'s definition")

        error = sila_error(SERVICE + "GetFeatureDefinition",
                           svc.GetFeatureDefinition_Parameters(
                               FeatureIdentifier=fw.String(value="org.example/none/Nope/v1")),
                           svc.GetFeatureDefinition_Responses)
        check(error is not None and error.WhichOneof("error") == "definedExecutionError" and
              error.definedExecutionError.errorIdentifier.endswith("/UnimplementedFeature"),
              "an unimplemented feature is its defined error")
        error = sila_error(SERVICE + "Get_ServerName", svc.Get_ServerName_Parameters(),
                           svc.Get_ServerName_Responses, token("x"))
        check(error is not None and error.frameworkError.errorType ==
              fw.FrameworkError.NO_METADATA_ALLOWED, "SiLAService refuses metadata")

        affected = call(AUTHORIZATION + "Get_FCPAffectedByMetadata_AccessToken",
                        auth.Get_FCPAffectedByMetadata_AccessToken_Parameters(),
                        auth.Get_FCPAffectedByMetadata_AccessToken_Responses).AffectedCalls
        check(PROVIDER + "/Command/UploadMethod" in [a.value for a in affected] and
              CONTROLLER + "/Command/LoadMethod" in [a.value for a in affected],
              "UploadMethod and LoadMethod need the token")

        upload = mp.UploadMethod_Parameters(Name=fw.String(value="py"),
                                            Content=fw.String(value=METHOD))
        error = sila_error(METHODS + "UploadMethod", upload, mp.UploadMethod_Responses)
        check(error is not None and error.frameworkError.errorType ==
              fw.FrameworkError.INVALID_METADATA, "no token: invalid metadata")
        error = sila_error(METHODS + "UploadMethod", upload, mp.UploadMethod_Responses,
                           token("0" * 64))
        check(error is not None and error.definedExecutionError.errorIdentifier.endswith(
            "/InvalidAccessToken"), "a wrong token: InvalidAccessToken")
        service_token = pathlib.Path(home, "service-token").read_text().strip()
        bad = mp.UploadMethod_Parameters(Name=fw.String(value="py"),
                                         Content=fw.String(value=METHOD + "[gc.nonsense]\nx = 1\n"))
        error = sila_error(METHODS + "UploadMethod", bad, mp.UploadMethod_Responses,
                           token(service_token))
        check(error is not None and error.validationError.parameter ==
              PROVIDER + "/Command/UploadMethod/Parameter/Content" and
              "py.toml:" in error.validationError.message,
              "a bad file: a validation error on Content naming its line")
        run_length = call(METHODS + "UploadMethod", upload, mp.UploadMethod_Responses,
                          token(service_token)).RunLength.value
        check(run_length == 0.5, f"the upload answers the run length: {run_length}")
        content = call(METHODS + "GetMethod", mp.GetMethod_Parameters(Name=fw.String(value="py")),
                       mp.GetMethod_Responses).Content.value
        check(content == METHOD, "the method reads back whole")

        # An observable command: started, followed on its Info stream, its result read.
        confirmation = call(GC + "LoadMethod",
                            gcc.LoadMethod_Parameters(MethodName=fw.String(value="py")),
                            fw.CommandConfirmation, token(service_token))
        uuid = confirmation.commandExecutionUUID
        infos = list(channel.unary_stream(
            GC + "LoadMethod_Info", request_serializer=uuid.SerializeToString,
            response_deserializer=fw.ExecutionInfo.FromString)(uuid, timeout=60))
        check(infos and infos[-1].commandStatus == fw.ExecutionInfo.finishedSuccessfully,
              f"LoadMethod_Info ends finished: {[i.commandStatus for i in infos]}")
        call(GC + "LoadMethod_Result", uuid, gcc.LoadMethod_Responses)
        check(True, "LoadMethod_Result answers after the end")
        error = sila_error(GC + "LoadMethod_Result",
                           fw.CommandExecutionUUID(value="00000000-0000-4000-8000-000000000000"),
                           gcc.LoadMethod_Responses)
        check(error is not None and error.frameworkError.errorType ==
              fw.FrameworkError.INVALID_COMMAND_EXECUTION_UUID, "an unknown execution UUID")
        # An injection to its result: the run followed to its end (a run shorter than the
        # service's poll period, 5.5 s here, is followed all the same), its record and the
        # results folder the service wrote for it.
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
        folder = result.ResultsFolder.value
        written = json.loads(pathlib.Path(folder, "run.json").read_text()) \
            if folder.startswith(os.path.join(home, "results", "run-")) else {}
        check(written.get("vial") == 4 and written.get("volume") == 2.5 and
              written.get("record") == result.ExperimentRecord.value and
              "2.5" in result.ExperimentRecord.value,
              f"Inject's result is its record and its results folder: {folder}")
        began, ended = result.RunStart, result.RunEnd
        check((began.year, began.month, began.day, began.hour, began.minute, began.second) <=
              (ended.year, ended.month, ended.day, ended.hour, ended.minute, ended.second) and
              began.year > 2000, "the run's start and end")
        # Cancels, trays and pauses: gc_controller_test.cpp and sequence_runner_test.cpp.
        # The scheduler locks the GC: its calls carry the lock's identifier, others fail.
        call(LOCK + "LockServer", lc.LockServer_Parameters(
            LockIdentifier=fw.String(value="py-lock"), Timeout=fw.Integer(value=60)),
            lc.LockServer_Responses, token(service_token))
        locked = lc.Metadata_LockIdentifier(LockIdentifier=fw.String(value="py-lock"))
        load = gcc.LoadMethod_Parameters(MethodName=fw.String(value="py"))
        error = sila_error(GC + "LoadMethod", load, fw.CommandConfirmation, token(service_token))
        check(error is not None and error.frameworkError.errorType ==
              fw.FrameworkError.INVALID_METADATA, "locked: a call without the lock's identifier")
        holder = token(service_token) + [(LOCK_KEY, locked.SerializeToString())]
        uuid = call(GC + "LoadMethod", load, fw.CommandConfirmation, holder).commandExecutionUUID
        check(bool(uuid.value), "locked: the holder's call is taken")
        call(LOCK + "UnlockServer", lc.UnlockServer_Parameters(
            LockIdentifier=fw.String(value="py-lock")), lc.UnlockServer_Responses,
            token(service_token))
        check(not call(LOCK + "Get_IsLocked", lc.Get_IsLocked_Parameters(),
                       lc.Get_IsLocked_Responses).IsLocked.value, "unlocked")

        stream = channel.unary_stream(
            GC + "Subscribe_RunState",
            request_serializer=gcc.Subscribe_RunState_Parameters.SerializeToString,
            response_deserializer=gcc.Subscribe_RunState_Responses.FromString)(
            gcc.Subscribe_RunState_Parameters(), timeout=10)
        check(next(stream).RunState.value == "Idle", "RunState is Idle at once")
        stream.cancel()

        other_ca = tempfile.mkdtemp(dir=home)
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                        "ec_paramgen_curve:P-256", "-nodes", "-subj", "/CN=other", "-days", "1",
                        "-keyout", os.path.join(other_ca, "key.pem"),
                        "-out", os.path.join(other_ca, "ca.pem")],
                       check=True, capture_output=True)
        stranger = grpc.secure_channel(address, grpc.ssl_channel_credentials(
            pathlib.Path(other_ca, "ca.pem").read_bytes()))
        try:
            stranger.unary_unary(SERVICE + "Get_ServerName")(
                svc.Get_ServerName_Parameters().SerializeToString(), timeout=10)
            check(False, "a client trusting another CA is refused")
        except grpc.RpcError as error:
            check(error.code() == grpc.StatusCode.UNAVAILABLE,
                  "a client trusting another CA is refused")
    finally:
        stop(proc)
        stop(sim_proc)
        shutil.rmtree(home, ignore_errors=True)
    check(proc.returncode == 0, f"the service stopped cleanly on SIGTERM ({proc.returncode})")
    print(f"{len(passes)} passed, {len(failures)} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
