#include "platform/message_box.h"

#include <cstdio>
#include <iterator>
#include <utility>

namespace gc6890 {

int defaultMessageBoxAnswer(UINT flags)
{
    static constexpr int buttons[][3] = {
        {IDOK, IDOK, IDOK},             // MB_OK
        {IDOK, IDCANCEL, IDCANCEL},     // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE},   // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},        // MB_YESNOCANCEL
        {IDYES, IDNO, IDNO},            // MB_YESNO
        {IDRETRY, IDCANCEL, IDCANCEL},  // MB_RETRYCANCEL
    };
    const UINT type = flags & MB_TYPEMASK;
    const UINT button = (flags & MB_DEFMASK) >> 8;
    if (type >= std::size(buttons) || button > 2)
        return IDOK;
    return buttons[type][button];
}

namespace {

int writeToStandardError(HWND, const char* text, const char* caption, UINT flags)
{
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    return defaultMessageBoxAnswer(flags);
}

MessageBoxHandler& currentHandler()
{
    static MessageBoxHandler handler = writeToStandardError;
    return handler;
}

}  // namespace
}  // namespace gc6890

int MessageBox(HWND owner, const char* text, const char* caption, UINT flags)
{
    return gc6890::currentHandler()(owner, text, caption, flags);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    if (!handler)
        handler = gc6890::writeToStandardError;
    return std::exchange(gc6890::currentHandler(), std::move(handler));
}
