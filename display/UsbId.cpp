#include "display/UsbId.h"

#include <iomanip>
#include <sstream>

namespace orvi {
namespace {

constexpr std::size_t kDigits = 4;
constexpr std::size_t kVendorOffset = 4;    // after "VID_"
constexpr std::size_t kProductOffset = 13;  // after "VID_xxxx&PID_"

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

bool isHexGroup(const std::string& text, std::size_t from) {
    for (std::size_t i = from; i < from + kDigits; ++i) {
        if (!isHexDigit(text[i])) {
            return false;
        }
    }
    return true;
}

std::uint16_t hexGroupValue(const std::string& text, std::size_t from) {
    return static_cast<std::uint16_t>(std::stoi(text.substr(from, kDigits), nullptr, 16));
}

void readMarker(const std::string& text, const char* marker, UsbId& id) {
    if (text.size() < 4) {
        return;
    }
    const std::size_t p = text.find(marker);
    // The product digits end at p + 16, so the marker needs 17 characters; a hardware id may end
    // right after them ("USB\VID_17E9&PID_FF13").
    if (p == std::string::npos || p + kProductOffset + kDigits > text.size()) {
        return;
    }
    if (isHexGroup(text, p + kVendorOffset)) {
        id.vendorId = hexGroupValue(text, p + kVendorOffset);
    }
    if (isHexGroup(text, p + kProductOffset)) {
        id.productId = hexGroupValue(text, p + kProductOffset);
    }
}

}  // namespace

UsbId parseUsbId(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    UsbId id;
    readMarker(text, "VID_", id);
    readMarker(text, "VEN_", id);
    return id;
}

std::string formatUsbId(UsbId id) {
    std::ostringstream text;
    text << std::uppercase << std::hex << std::setfill('0') << "VID_" << std::setw(4) << id.vendorId << "&PID_"
         << std::setw(4) << id.productId;
    return text.str();
}

}  // namespace orvi
