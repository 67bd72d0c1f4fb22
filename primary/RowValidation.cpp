#include "primary/RowValidation.h"

#include "platform/DisplayServices.h"
#include "primary/DisplayConfigSwitch.h"

#include <cstddef>

namespace orvi {

RowVerdict validateRow(const std::vector<WideString>& row) {
    for (std::size_t first = 0;;) {
        RowConfiguration wanted = rowConfigurationFor(row, first);
        const UINT32 flags = SDC_VALIDATE | SDC_USE_SUPPLIED_DISPLAY_CONFIG | wanted.applyFlags;
        const LONG result = platform::setDisplayConfig(
            static_cast<UINT32>(wanted.config.paths.size()), wanted.config.paths.data(),
            static_cast<UINT32>(wanted.config.modes.size()), wanted.config.modes.data(), flags);
        if (result != static_cast<LONG>(ERROR_INVALID_PARAMETER) || wanted.last) {
            return RowVerdict{result, flags};
        }
        first = wanted.layout + 1;
    }
}

}  // namespace orvi
