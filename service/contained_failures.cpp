#include "service/contained_failures.h"

#include <exception>
#include <iostream>

#include "platform/platform.h"
#include "service/event_hub.h"
#include "service/safe_text.h"
#include "service/snapshot.h"

namespace gc6890 {

namespace {
constexpr std::int64_t kRepeatLogMs = 60000;
}  // namespace

std::string currentExceptionText()
{
    try {
        throw;
    } catch (const std::exception& error) {
        return loggable(error.what());
    } catch (CException* error) {
        // The framework's exceptions are thrown as pointers; whoever catches one frees it.
        char text[512] = "";
        const bool described = error->GetErrorMessage(text, sizeof text);
        error->Delete();
        return described && *text ? loggable(text) : "the library gave up";
    } catch (...) {
        return "an unknown exception";
    }
}

void ContainedFailures::failed(std::string_view what, std::string* why) noexcept
{
    try {
        const std::string reason = currentExceptionText();
        if (why)
            *why = reason;
        ++counter_;
        const std::string text = std::string(what) + " failed: " + reason;
        const std::int64_t now = steadyNowMs();
        {
            std::lock_guard lock(mutex_);
            if (text == lastText_ && now - lastLoggedMs_ < kRepeatLogMs)
                return;
            lastText_ = text;
            lastLoggedMs_ = now;
        }
        std::cerr << "gc6890 serve: " << loggable(text) << '\n';
        events_.log(0, source_, text);
    } catch (...) {
        // Out of memory while reporting: the count above is all that can be kept.
    }
}

}  // namespace gc6890
