#include "simulation/CallTrace.h"

#include "desktopfile/Utf8.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace orvi::simulation {
namespace {

std::string deviceWord(const std::u16string& deviceName) {
    return "device=" + (deviceName.empty() ? std::string("NULL") : utf16ToUtf8(deviceName));
}

}  // namespace

std::string traceLine(const SimulatedCall& call) {
    std::ostringstream line;
    const auto flags = [&line, &call] { line << " flags=0x" << std::hex << call.flags << std::dec; };
    switch (call.operation) {
    case DisplayOperation::EnumDisplayDevices:
        line << "EnumDisplayDevicesW device=NULL index=" << call.index;
        break;
    case DisplayOperation::EnumDisplayMonitors:
        line << "EnumDisplayMonitors";
        break;
    case DisplayOperation::GetMonitorInfo:
        line << "GetMonitorInfoW " << deviceWord(call.deviceName);
        break;
    case DisplayOperation::GetDisplayConfigBufferSizes:
        line << "GetDisplayConfigBufferSizes";
        flags();
        break;
    case DisplayOperation::QueryDisplayConfig:
        line << "QueryDisplayConfig";
        flags();
        break;
    case DisplayOperation::GetSourceName:
    case DisplayOperation::GetTargetName:
    case DisplayOperation::OtherDeviceInfo:
        line << "DisplayConfigGetDeviceInfo type="
             << (call.operation == DisplayOperation::GetSourceName   ? "source-name"
                 : call.operation == DisplayOperation::GetTargetName ? "target-name"
                                                                     : "other")
             << " adapter=" << call.adapterId.HighPart << ":" << call.adapterId.LowPart << " id=" << call.id;
        break;
    case DisplayOperation::EnumDisplaySettings:
        line << "EnumDisplaySettingsW " << deviceWord(call.deviceName) << " mode=0x" << std::hex << call.index
             << std::dec;
        break;
    case DisplayOperation::ChangeDisplaySettingsEx:
        line << "ChangeDisplaySettingsExW " << deviceWord(call.deviceName);
        if (!call.deviceName.empty()) {
            line << " x=" << call.position.x << " y=" << call.position.y;
        }
        flags();
        break;
    case DisplayOperation::SetDisplayConfig:
        line << "SetDisplayConfig paths=" << call.index;
        flags();
        break;
    }
    line << " -> " << call.result;
    return line.str();
}

void traceCall(const SimulatedCall& call) {
    const char* path = std::getenv("SIMULATED_CALLS");
    if (path != nullptr && *path != '\0') {
        std::ofstream(path, std::ios::binary | std::ios::app) << traceLine(call) << "\n";
    }
}

}  // namespace orvi::simulation
