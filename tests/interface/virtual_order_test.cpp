// The host calls the instruments' virtual operations by position: each base class's
// operations must sit in consecutive slots in the order the host knows, right after
// CWnd's own, and the GC's and sampler's own additions after them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "gc/varnock_gc_system.h"
#include "interface/instrument_base.h"
#include "sampler/varnock_auto_sampler.h"

namespace {

// The vtable slot of a virtual operation. The library is built for the Itanium C++ ABI
// (GCC and Clang on Linux), whose pointer to a virtual member holds 1 + its byte offset
// in the vtable.
template <class Member>
long slotOf(Member member)
{
    static_assert(sizeof(Member) == 2 * sizeof(std::uintptr_t));
    std::uintptr_t raw;
    std::memcpy(&raw, &member, sizeof raw);
    EXPECT_EQ(raw % sizeof(void*), 1u) << "not a virtual operation";
    return static_cast<long>((raw - 1) / sizeof(void*));
}

// The slots of the operations, given in the host's order, numbered from CWnd's last.
template <class... Members>
std::vector<long> positions(Members... members)
{
    const long base = slotOf(&CWnd::GetMessageMap);
    return {(slotOf(members) - base)...};
}

// 1, 2, ... count: the positions the host calls.
std::vector<long> oneTo(long count)
{
    std::vector<long> numbers;
    for (long n = 1; n <= count; ++n)
        numbers.push_back(n);
    return numbers;
}

using Text = const CString&;
using Record = CGenericExpRecord*;

// One form of an overloaded operation: op<Class, Arguments...>(&Class::Name).
template <class C, class... A>
auto op(int (C::*member)(A...))
{
    return member;
}

TEST(VirtualOrderTest, EachInstrumentsOperationsSitWhereTheHostCallsThem)
{
    // The host's 17, then the GC object's own PrepRunning.
    using G = CVarnockGCSystem;
    EXPECT_EQ(positions(&G::InitialiseComms, &G::Initialise, &G::GenericOp, &G::ReadStatus,
                        &G::SwitchGC, &G::LoadMethod, op<G>(&G::StartMethod),
                        op<G, Text>(&G::StartMethod), &G::StopMethod, &G::CloseDownComms,
                        &G::GetMethodLength, &G::WriteExpRecord, &G::GCOn, &G::MethodRunning,
                        &G::PostRunning, &G::NotReady, &G::Error, &G::PrepRunning),
              oneTo(18));

    // The host's 26, then the sampler object's own StartMethod form and ResetSampler.
    using S = CVarnockAutoSampler;
    EXPECT_EQ(positions(&S::InitialiseComms, &S::Initialise, &S::GenericOp, &S::ReadStatus,
                        op<S, Text, CString>(&S::LoadMethod), op<S, Text>(&S::LoadMethod),
                        op<S>(&S::StartMethod), op<S, Text>(&S::StartMethod),
                        op<S, Text, Text, float>(&S::StartMethod),
                        op<S, Text, const CAutoSampler::StartMethodParams&>(&S::StartMethod),
                        &S::StopMethod, &S::SwitchWash, &S::ResetInjector, &S::CloseDownComms,
                        op<S, Record, Text, CString&, eRunType>(&S::WriteExpRecord),
                        op<S, Record, Text>(&S::WriteExpRecord), &S::WriteInjectionVolume,
                        &S::Inject, &S::InitialiseRawDataManager, &S::Injecting,
                        &S::WaitingToInject, &S::MethodRunning, &S::PostRunning, &S::NotReady,
                        &S::Error, &S::RunMessage, op<S, Text, int, float>(&S::StartMethod),
                        &S::ResetSampler),
              oneTo(28));

    using O = COven;
    EXPECT_EQ(positions(&O::InitialiseComms, &O::Initialise, &O::GenericOp, &O::ReadStatus,
                        &O::SwitchOven, &O::LoadMethod, op<O>(&O::StartMethod),
                        op<O, Text>(&O::StartMethod), &O::StopMethod, &O::CloseDownComms,
                        &O::WriteExpRecord, &O::OvenOn, &O::MethodRunning, &O::PostRunning,
                        &O::NotReady, &O::Error),
              oneTo(16));

    using P = CPump;
    EXPECT_EQ(positions(&P::InitialiseComms, &P::Initialise, &P::GenericOp, &P::ReadStatus,
                        &P::SwitchPump, op<P, Text, CString>(&P::LoadMethod),
                        op<P, Text>(&P::LoadMethod), op<P>(&P::StartMethod),
                        op<P, Text>(&P::StartMethod), &P::StopMethod, &P::SendRemoteStart,
                        &P::CloseDownComms, &P::GetMethodLength,
                        op<P, Record, Text, CString, eRunType>(&P::WriteExpRecord),
                        op<P, Record, Text>(&P::WriteExpRecord), &P::InitialiseRawDataManager,
                        &P::FormatSolventMonitorUpdate, &P::PumpOn, &P::MethodRunning,
                        &P::PostRunning, &P::NotReady, &P::Error, &P::PumpStopOnExit),
              oneTo(23));

    using D = CDetector;
    EXPECT_EQ(positions(&D::InitialiseComms, &D::Initialise, &D::GenericOp, &D::ReadStatus,
                        &D::SwitchDetector, op<D, Text, CString>(&D::LoadMethod),
                        op<D, Text>(&D::LoadMethod), op<D>(&D::StartMethod),
                        op<D, Text>(&D::StartMethod), &D::StopMethod, &D::FinishMethod, &D::Balance,
                        &D::CloseDownComms, &D::InitialiseRawDataManager,
                        &D::PreStartDataAcquisition, &D::InitialiseNewDataAcquisition, &D::ReadData,
                        &D::EndDataAcquisition, &D::ResetDataAcquisition,
                        &D::TerminateDataAcquisition, &D::ReadBufferReady,
                        op<D, Record, Text, CString&, eRunType>(&D::WriteExpRecord),
                        op<D, Record, Text>(&D::WriteExpRecord), &D::DetectorOn, &D::MethodRunning,
                        &D::PostRunning, &D::NotReady, &D::Error),
              oneTo(28));
}

}  // namespace
