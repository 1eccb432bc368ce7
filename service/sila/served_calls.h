// How a feature's service class declares the calls it serves. The standard names every
// call's messages after the call, in the feature's package: `Name_Parameters` in and
// `Name_Responses` out for an unobservable command or a property's Get_, a
// CommandConfirmation out for an observable command's start, a stream of
// `Subscribe_Name_Responses` for an observable property. So the feature's namespace and the
// call's name say the whole signature; each definition in the feature's .cpp spells it
// out, and the compiler holds the two together (an observable command's _Info, _Result and
// _Intermediate: execution_rpcs.h).
#pragma once

#include <grpcpp/grpcpp.h>

#include "SiLAFramework.pb.h"

// An unobservable command, or a property's Get_ (`Name` is then Get_Property).
#define GC6890_SILA_CALL(ns, Name)                                                                 \
    grpc::Status Name(grpc::ServerContext* context, const ns::Name##_Parameters* request,          \
                      ns::Name##_Responses* response) override;

// An observable command's start.
#define GC6890_SILA_COMMAND_START(ns, Name)                                                        \
    grpc::Status Name(grpc::ServerContext* context, const ns::Name##_Parameters* request,          \
                      sila2::org::silastandard::CommandConfirmation* response) override;

// An observable property's subscription.
#define GC6890_SILA_SUBSCRIPTION(ns, Property)                                                     \
    grpc::Status Subscribe_##Property(                                                             \
        grpc::ServerContext* context, const ns::Subscribe_##Property##_Parameters* request,        \
        grpc::ServerWriter<ns::Subscribe_##Property##_Responses>* writer) override;
