// LoadMethod: the GC object runs the method download (method/method_download.h) with its
// own operations and state.
#include "comms/hp6890_serial_comms.h"
#include "comms/reg_remote_window.h"
#include "gc/varnock_gc_system.h"
#include "method/method_download.h"

int CVarnockGCSystem::LoadMethod(const CString& name)
{
    // Without a channel (after a comms failure, before the restore) there is nothing to
    // download to; the host learns it from the result, as for a lock-out held elsewhere.
    if (!m_pChannel)
        return 0;

    // The object's own steps, handed to the download. A local class shares the member
    // function's access to the object's private operations.
    class Host : public gc6890::MethodDownloadHost {
    public:
        explicit Host(CVarnockGCSystem& gc) : m_gc(gc) {}

        CHP6890SerialComms& Channel() override { return *m_gc.m_pChannel; }
        void ClearDisplay() override { m_gc.ClearDisplay(); }
        void InitialiseContactClosure() override { m_gc.InitialiseContactClosure(); }
        void LockReset() override
        {
            if (m_gc.m_pRegRemoteWindow)
                m_gc.m_pRegRemoteWindow->LockReset();
        }
        void UnLockReset() override
        {
            if (m_gc.m_pRegRemoteWindow)
                m_gc.m_pRegRemoteWindow->UnLockReset();
        }
        int ReadLoopValue() override { return m_gc.ReadLoopValue(); }
        int ReadSleepValue() override { return m_gc.ReadSleepValue(); }
        int ReadCommandListFromGC(CCommandStringList& list) override
        {
            return m_gc.ReadCommandListFromGC(list);
        }
        void SetAutoPrepRun(int state) override { m_gc.m_nAutoPrepRun = state; }
        HWND Owner() override { return m_gc.GetSafeHwnd(); }
        CPressure& FrontInletPressure() override { return m_gc.m_FrontInletPressure; }
        CPressure& BackInletPressure() override { return m_gc.m_BackInletPressure; }
        gc6890::InletEditOperations InletEdits() override
        {
            CVarnockGCSystem* gc = &m_gc;
            return {[gc](tag_INLET_SEL i, const CHP6890Method& m, CCommandString& c) {
                        return gc->SetInletLineFromMethod(i, m, c);
                    },
                    [gc](tag_INLET_SEL i, const CHP6890Method& m, CCommandString& c) {
                        return gc->SetInletTempZoneFromMethod(i, m, c);
                    },
                    [gc](tag_INLET_SEL i, const CHP6890Method& m, CCommandString& c) {
                        return gc->SetInletPneumFromMethod(i, m, c);
                    },
                    [gc](tag_INLET_SEL i, const CHP6890Method& m, int zoneOn, CCommandString& c) {
                        return gc->SetInletPneumaticZoneFromMethod(i, m, zoneOn, c);
                    }};
        }
        void ReportProgress(int sent, int total) override
        {
            if (m_gc.m_DownloadProgress)
                m_gc.m_DownloadProgress(sent, total);
        }

    private:
        CVarnockGCSystem& m_gc;
    };

    Host host(*this);
    return gc6890::RunMethodDownload(host, name);
}
