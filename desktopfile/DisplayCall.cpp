#include "desktopfile/DisplayCall.h"

#include <cstddef>
#include <iterator>

namespace orvi::simulation {
namespace {

// Taken from the one list of the calls: the user32 call's text up to its argument list, and the
// result type's name.
struct CallText {
    std::string_view user32Call;
    std::string_view result;
};

constexpr CallText kCalls[] = {
#define DISPLAY_CALL(Result, name, parameters, arguments, user32Call) {#user32Call, #Result},
#include "platform/DisplayCalls.inc"
#undef DISPLAY_CALL
};

}  // namespace

std::string_view user32NameOf(DisplayCall call) {
    const std::string_view text = kCalls[static_cast<std::size_t>(call)].user32Call;
    return text.substr(0, text.find('('));
}

std::optional<DisplayCall> displayCallNamed(std::string_view user32Name) {
    for (std::size_t index = 0; index < std::size(kCalls); ++index) {
        const auto call = static_cast<DisplayCall>(index);
        if (user32NameOf(call) == user32Name) {
            return call;
        }
    }
    return std::nullopt;
}

bool answersWithBool(DisplayCall call) { return kCalls[static_cast<std::size_t>(call)].result == "BOOL"; }

}  // namespace orvi::simulation
