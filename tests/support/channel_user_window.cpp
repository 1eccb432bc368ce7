#include "support/channel_user_window.h"

namespace gc6890::test {

BEGIN_MESSAGE_MAP(ChannelUserWindow, CWnd)
ON_REGISTERED_MESSAGE(g_nCommsFailureMessage, OnCommsFailure)
ON_REGISTERED_MESSAGE(g_nCommsRestoreMessage, OnCommsRestore)
END_MESSAGE_MAP()

ChannelUserWindow::ChannelUserWindow(Side side, Answer answer) : m_side(side), m_answer(answer)
{
    CreateEx(0, "CHANNEL USER TEST CLASS", "channel user", 0, 0, 0, 1, 1, nullptr, nullptr);
}

ChannelUserWindow::~ChannelUserWindow()
{
    for (; m_nRegistrations > 0; --m_nRegistrations)
        ReleaseSerialComms(m_hWnd);
}

CHP6890SerialComms* ChannelUserWindow::Get()
{
    m_pChannel = GetSerialComms(m_hWnd);
    if (m_pChannel)
        ++m_nRegistrations;
    return m_pChannel;
}

int ChannelUserWindow::Start()
{
    m_bStarted = true;
    if (!m_pChannel)
        return 0;
    if (m_side == Side::GC)
        return m_pChannel->StartGCComms();
    return m_side == Side::Sampler ? m_pChannel->StartALSComms() : 1;
}

LRESULT ChannelUserWindow::OnCommsFailure(WPARAM, LPARAM)
{
    ++m_nFailures;
    if (m_pJournal)
        m_pJournal->push_back(m_name + " failure");
    if (m_answer == Answer::Refuse ||
        (m_answer == Answer::RefuseWhileBusy && CHP6890SerialComms::Busy()))
        return 0;
    m_pChannel = nullptr;
    return 1;
}

LRESULT ChannelUserWindow::OnCommsRestore(WPARAM, LPARAM lParam)
{
    auto* channel = reinterpret_cast<CHP6890SerialComms*>(lParam);
    const bool valid = IsValidCommsObject(channel) != 0;
    ++m_nRestores;
    m_lastRestore = {channel, valid};
    if (m_pJournal)
        m_pJournal->push_back(m_name + " restore");
    if (!valid)
        return 0;
    if (!m_pChannel) {
        m_pChannel = channel;
        if (m_bStarted)
            m_bRestartFailed = !Start();
    }
    return 1;
}

}  // namespace gc6890::test
