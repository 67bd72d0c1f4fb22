// Events through advapi32: RegisterEventSourceW, ReportEventW, DeregisterEventSource.
#include "platform/EventLog.h"

#include "platform/Win32.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <string>

namespace orvi::platform {
namespace {

struct EventSourceCloser {
    void operator()(HANDLE source) const { DeregisterEventSource(source); }
};
using EventSource = std::unique_ptr<void, EventSourceCloser>;

// ReportEventW refuses a string longer than this (documented), and with it the whole event.
constexpr int kLongestString = 31839;

// The text in UTF-16 from the process code page, that of every narrow text of the tool (UTF-8 where
// its manifest's code page counts); cut at the longest string an event may hold (no byte gives more
// than one UTF-16 unit), empty when it cannot be converted.
std::wstring wide(const std::string& text) {
    const int size = static_cast<int>(std::min<std::size_t>(text.size(), kLongestString));
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring converted(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, converted.data(), length);
    return converted;
}

}  // namespace

void reportEvent(EventType type, std::uint32_t id, const std::string& text) noexcept {
    try {
        // No key of the source is needed to report: without the package's registration Windows shows
        // the string without the message text.
        const EventSource source(RegisterEventSourceW(nullptr, L"SetPrimaryKiv"));
        if (!source) {
            return;
        }
        const std::wstring string = wide(text);
        const wchar_t* strings[] = {string.c_str()};
        ReportEventW(source.get(), type == EventType::Error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, 0, id,
                     nullptr, 1, 0, strings, nullptr);
    } catch (const std::exception&) {
        // No memory for the text: the run's outcome stands without its event.
    }
}

}  // namespace orvi::platform
