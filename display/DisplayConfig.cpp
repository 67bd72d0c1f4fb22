#include "display/DisplayConfig.h"

#include "display/DisplayConfigRefused.h"
#include "platform/DisplayServices.h"
#include "util/WinException.h"

#include <optional>
#include <utility>

namespace orvi {
namespace {

constexpr LONG kSuccess = static_cast<LONG>(ERROR_SUCCESS);
constexpr LONG kInsufficientBuffer = static_cast<LONG>(ERROR_INSUFFICIENT_BUFFER);
constexpr LONG kAccessDenied = static_cast<LONG>(ERROR_ACCESS_DENIED);

// QueryDisplayConfig answers ERROR_INSUFFICIENT_BUFFER when the configuration grew after the sizes were
// asked for, which is what happens while a Kiv is being plugged in. Each attempt asks for the sizes
// again; the bound keeps a configuration that never settles (a connector that keeps coming and going)
// from holding the scan pass forever. Plugging in one screen takes a few changes at most.
constexpr int kQueryAttempts = 8;

// DISPLAYCONFIG_TARGET_DEVICE_NAME_FLAGS: edidManufactureId and edidProductCodeId come from the EDID.
constexpr UINT32 kEdidIdsValid = 0x4;

// A refusal (the session has no access to the console now) is told apart from a failure.
[[noreturn]] void throwQueryFailure(LONG result, const char* context) {
    if (result == kAccessDenied) {
        throw DisplayConfigRefused(static_cast<DWORD>(result), context);
    }
    throw util::WinException(static_cast<DWORD>(result), context);
}

// What a query answered when it failed, and the context of the call that answered it.
struct QueryFailure {
    LONG result;
    const char* context;
};

// Asks for the sizes and then the configuration with these flags, again while it grows meanwhile;
// the failing answer, if any.
std::optional<QueryFailure> queryConfiguration(UINT32 flags, DisplayConfig& config) {
    const UINT32 base = flags & ~(QDC_VIRTUAL_MODE_AWARE | QDC_VIRTUAL_REFRESH_RATE_AWARE);
    for (int attempt = 1;; ++attempt) {
        UINT32 pathCount = 0;
        UINT32 modeCount = 0;
        const LONG sizes = platform::getDisplayConfigBufferSizes(flags, &pathCount, &modeCount);
        if (sizes != kSuccess) {
            return QueryFailure{sizes, "Failed to obtain detail for current displays config"};
        }
        if (pathCount == 0) {
            // A remote, scheduled or headless session: no paths, and the query would refuse the empty
            // arrays with ERROR_INVALID_PARAMETER (its path array "cannot be NULL"). Answered as that
            // query would be, without making it, and like a refusal: a later look may see screens.
            throw DisplayConfigRefused(ERROR_INVALID_PARAMETER, "Failed to obtain current displays config");
        }
        config.paths.assign(pathCount, DISPLAYCONFIG_PATH_INFO{});
        config.modes.assign(modeCount, DISPLAYCONFIG_MODE_INFO{});

        DISPLAYCONFIG_TOPOLOGY_ID topology{};
        const LONG query =
            platform::queryDisplayConfig(flags, &pathCount, config.paths.data(), &modeCount, config.modes.data(),
                                         base == QDC_DATABASE_CURRENT ? &topology : nullptr);
        if (query == kInsufficientBuffer && attempt < kQueryAttempts) {
            continue;
        }
        if (query != kSuccess) {
            return QueryFailure{query, "Failed to obtain current displays config"};
        }
        config.paths.resize(pathCount);
        config.modes.resize(modeCount);
        return std::nullopt;
    }
}

DisplayConfig queried(UINT32 flags) {
    DisplayConfig config;
    if (const std::optional<QueryFailure> failure = queryConfiguration(flags, config)) {
        throwQueryFailure(failure->result, failure->context);
    }
    return config;
}

}  // namespace

DisplayConfig getCurrentDisplayConfig() { return queried(QDC_DATABASE_CURRENT); }

DisplayConfig getActiveDisplayConfig() { return queried(QDC_ONLY_ACTIVE_PATHS); }

std::optional<DisplayConfig> getActiveDisplayConfigIfTaken(UINT32 modifiers) {
    DisplayConfig config;
    if (const std::optional<QueryFailure> failure = queryConfiguration(QDC_ONLY_ACTIVE_PATHS | modifiers, config)) {
        if (failure->result == static_cast<LONG>(ERROR_INVALID_PARAMETER)) {
            return std::nullopt;
        }
        throwQueryFailure(failure->result, failure->context);
    }
    return config;
}

WideString getSourceName(const DISPLAYCONFIG_PATH_INFO& path) {
    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    source.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
    source.header.size = sizeof(source);
    source.header.adapterId = path.sourceInfo.adapterId;
    source.header.id = path.sourceInfo.id;
    const LONG sourceResult = platform::displayConfigGetDeviceInfo(&source.header);
    if (sourceResult != kSuccess) {
        throwQueryFailure(sourceResult, "Failed to read Display device source info");
    }
    return WideString(boundedText(source.viewGdiDeviceName));
}

TargetDeviceInfo getTargetDeviceInfo(std::ostream& log, const DISPLAYCONFIG_PATH_INFO& path) {
    log << "Getting target device info..." << std::endl;

    WideString sourceName = getSourceName(path);

    DISPLAYCONFIG_TARGET_DEVICE_NAME target{};
    target.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
    target.header.size = sizeof(target);
    target.header.adapterId = path.targetInfo.adapterId;
    target.header.id = path.targetInfo.id;
    const LONG targetResult = platform::displayConfigGetDeviceInfo(&target.header);
    if (targetResult == kAccessDenied) {
        // Going on without the name would leave a Pellun unrecognised in a pass that may still change
        // the layout: the whole look waits for the session's return instead.
        throwQueryFailure(targetResult, "Failed to read Display device target info");
    }
    if (targetResult != kSuccess) {
        return TargetDeviceInfo{};
    }

    TargetDeviceInfo identity;
    identity.gdiDeviceName = std::move(sourceName);
    identity.friendlyName = narrowBounded(target.monitorFriendlyDeviceName);
    identity.devicePath = narrowBounded(target.monitorDevicePath);
    identity.edidIdsValid = (target.flags.value & kEdidIdsValid) != 0;
    identity.edidProductCode = identity.edidIdsValid ? target.edidProductCodeId : 0;
    identity.edidManufacturerId = identity.edidIdsValid ? target.edidManufactureId : 0;

    log << "Retrieved target device information:" << std::endl;
    log << "  EDID Product Code ID: 0x" << std::hex << identity.edidProductCode << std::dec << std::endl;
    log << "  Friendly Name: " << identity.friendlyName << std::endl;
    log << "  Device Path: " << identity.devicePath << std::endl;
    return identity;
}

}  // namespace orvi
