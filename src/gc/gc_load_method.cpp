// LoadMethod: the GC object runs the method download (method/method_download.h) with its
// own display, contact closure, reset notices, auto-prep-run state and progress observer.
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

    // A local class shares the member function's access to the object's private steps.
    class Host : public gc6890::MethodDownloadHost {
    public:
        explicit Host(CVarnockGCSystem& gc) : m_gc(gc) {}

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
        void SetAutoPrepRun(int state) override { m_gc.m_nAutoPrepRun = state; }
        void ReportProgress(int sent, int total) override
        {
            if (m_gc.m_DownloadProgress)
                m_gc.m_DownloadProgress(sent, total);
        }

    private:
        CVarnockGCSystem& m_gc;
    };

    Host host(*this);
    return gc6890::RunMethodDownload(
        host, {*m_pChannel, GetSafeHwnd(), m_FrontInletPressure, m_BackInletPressure}, name);
}
