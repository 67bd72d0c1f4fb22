#include "display/UsbId.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using orvi::formatUsbId;
using orvi::parseUsbId;
using orvi::UsbId;

TEST(ParseUsbId, ReadsTheFirstMarkersFourDigitGroups) {
    struct Case {
        const char* text;
        std::uint16_t vendorId;
        std::uint16_t productId;
    };
    const Case cases[] = {
        {"usb\\vid_17e9&pid_ff13&mi_00", 0x17E9, 0xFF13},            // lower case
        {"PCI\\VEN_1AB2&DEV_3C4D&SUBSYS_00000000", 0x1AB2, 0x3C4D},  // PCI marker, device id
        {"VID_17E9&PID_FF13", 0x17E9, 0xFF13},                       // ends right after the product digits
        {"USB\\VID_17E9&PID_FF13", 0x17E9, 0xFF13},                  // a hardware id of that form
        {"VID_17E9&PID_FF1", 0, 0},                                  // one digit short
        {"VID_17E9&PID_FF13X", 0x17E9, 0xFF13},
        {"VID_17G9&PID_FF13\\1", 0, 0xFF13},                       // bad vendor group, product still read
        {"VID_1234-----ABCD!", 0x1234, 0xABCD},                    // the separator is not examined
        {"VID_1111&PID_2222;VEN_3333&DEV_4444;", 0x3333, 0x4444},  // VEN_ overwrites VID_
        {"VID_XXXX&PID_YYYY;VID_1234&PID_5678;", 0, 0},            // only the first VID_ counts
        {"VID", 0, 0},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        const UsbId id = parseUsbId(c.text);
        EXPECT_EQ(id.vendorId, c.vendorId) << c.text;
        EXPECT_EQ(id.productId, c.productId) << c.text;
    }
}

TEST(FormatUsbId, FourUpperCaseDigitsEach) {
    EXPECT_EQ(formatUsbId(orvi::kVarelUsbId), "VID_17E9&PID_FF13");
    EXPECT_EQ(formatUsbId(UsbId{}), "VID_0000&PID_0000");
    EXPECT_EQ(formatUsbId(UsbId{0xA, 0x1}), "VID_000A&PID_0001");
}

TEST(UsbIdConstants, AreTheKivVariants) {
    EXPECT_EQ(orvi::kVarelUsbId.vendorId, 6121);
    EXPECT_EQ(orvi::kVarelUsbId.productId, 65299);
    EXPECT_EQ(orvi::kPellunEdidProductCode, 0x1089);
}

}  // namespace
