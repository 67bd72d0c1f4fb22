#include "display/DisplayConfig.h"

#include "display/DisplayConfigRefused.h"
#include "platform/DisplayServices.h"
#include "util/WinException.h"

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

// A refusal (the session has no access to the console now) is told apart from a failure.
[[noreturn]] void throwQueryFailure(LONG result, const char* context) {
    if (result == kAccessDenied) {
        throw DisplayConfigRefused(static_cast<DWORD>(result), context);
    }
    throw util::WinException(static_cast<DWORD>(result), context);
}

bool sameLuid(const LUID& a, const LUID& b) { return a.LowPart == b.LowPart && a.HighPart == b.HighPart; }

// Mode ids are numbered per adapter and per kind: a USB display adapter beside the GPU has a source 0
// of its own, and a single screen's source and target are both 0. A mode is only known by all three.
bool isModeOf(const DISPLAYCONFIG_MODE_INFO& mode, DISPLAYCONFIG_MODE_INFO_TYPE kind, const LUID& adapterId,
              UINT32 id) {
    return mode.infoType == kind && sameLuid(mode.adapterId, adapterId) && mode.id == id;
}

}  // namespace

DisplayConfig getCurrentDisplayConfig() {
    DisplayConfig config;
    for (int attempt = 1;; ++attempt) {
        UINT32 pathCount = 0;
        UINT32 modeCount = 0;
        const LONG sizes = platform::getDisplayConfigBufferSizes(QDC_DATABASE_CURRENT, &pathCount, &modeCount);
        if (sizes != kSuccess) {
            throwQueryFailure(sizes, "Failed to obtain detail for current displays config");
        }
        config.paths.assign(pathCount, DISPLAYCONFIG_PATH_INFO{});
        config.modes.assign(modeCount, DISPLAYCONFIG_MODE_INFO{});

        DISPLAYCONFIG_TOPOLOGY_ID topology{};
        const LONG query = platform::queryDisplayConfig(QDC_DATABASE_CURRENT, &pathCount, config.paths.data(),
                                                        &modeCount, config.modes.data(), &topology);
        if (query == kInsufficientBuffer && attempt < kQueryAttempts) {
            continue;
        }
        if (query != kSuccess) {
            throwQueryFailure(query, "Failed to obtain current displays config");
        }
        config.paths.resize(pathCount);
        config.modes.resize(modeCount);
        return config;
    }
}

void forEachPathModes(const std::vector<DISPLAYCONFIG_PATH_INFO>& paths,
                      const std::vector<DISPLAYCONFIG_MODE_INFO>& modes, PathModesHandler handler) {
    for (const DISPLAYCONFIG_PATH_INFO& path : paths) {
        const DISPLAYCONFIG_MODE_INFO* sourceMode = nullptr;
        const DISPLAYCONFIG_MODE_INFO* targetMode = nullptr;
        for (const DISPLAYCONFIG_MODE_INFO& mode : modes) {
            if (isModeOf(mode, DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE, path.sourceInfo.adapterId, path.sourceInfo.id)) {
                sourceMode = &mode;
            } else if (isModeOf(mode, DISPLAYCONFIG_MODE_INFO_TYPE_TARGET, path.targetInfo.adapterId,
                                path.targetInfo.id)) {
                targetMode = &mode;
            }
        }
        if (sourceMode != nullptr && targetMode != nullptr) {
            handler(*sourceMode, *targetMode);
        }
    }
}

TargetDeviceInfo getTargetDeviceInfo(std::ostream& log, const DISPLAYCONFIG_MODE_INFO& sourceMode,
                                     const DISPLAYCONFIG_MODE_INFO& targetMode) {
    log << "Getting target device info..." << std::endl;

    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    source.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
    source.header.size = sizeof(source);
    source.header.adapterId = sourceMode.adapterId;
    source.header.id = sourceMode.id;
    const LONG sourceResult = platform::displayConfigGetDeviceInfo(&source.header);
    if (sourceResult != kSuccess) {
        throwQueryFailure(sourceResult, "Failed to read Display device source info");
    }

    DISPLAYCONFIG_TARGET_DEVICE_NAME target{};
    target.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
    target.header.size = sizeof(target);
    target.header.adapterId = targetMode.adapterId;
    target.header.id = targetMode.id;
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
    identity.gdiDeviceName = WideString(boundedText(source.viewGdiDeviceName));
    identity.friendlyName = narrowBounded(target.monitorFriendlyDeviceName);
    identity.devicePath = narrowBounded(target.monitorDevicePath);
    identity.edidProductCode = target.edidProductCodeId;

    log << "Retrieved target device information:" << std::endl;
    log << "  EDID Product Code ID: 0x" << std::hex << identity.edidProductCode << std::dec << std::endl;
    log << "  Friendly Name: " << identity.friendlyName << std::endl;
    log << "  Device Path: " << identity.devicePath << std::endl;
    return identity;
}

}  // namespace orvi
