// A call that puts the layout from before back, made a second time when Windows refuses it once.
#pragma once

#include "platform/DisplayServices.h"

namespace orvi {

// A refusal right after a plug-in or plug-out meets a configuration that Windows is still changing,
// and a call made again at once meets the same refusal; a few hundred milliseconds let the change
// settle, and add little to a run that is failing anyway.
constexpr DWORD kPutBackPauseMilliseconds = 300;

// Makes `call` (which answers 0, DISP_CHANGE_SUCCESSFUL or ERROR_SUCCESS, on success) and, when Windows
// refuses it, pauses (platform::pause) and makes it once more, so that one more fault does not leave a
// half-changed layout stored for the next sign-in. True when either call succeeded.
template <typename Call>
bool putBackCall(Call call) {
    if (call() == 0) {
        return true;
    }
    platform::pause(kPutBackPauseMilliseconds);
    return call() == 0;
}

}  // namespace orvi
