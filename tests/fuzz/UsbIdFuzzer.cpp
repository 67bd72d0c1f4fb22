// parseUsbId on arbitrary text: it must not read outside the text, overflow or throw, and whatever
// it finds must read back the same from its own text form.
#include "display/UsbId.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const orvi::UsbId found = orvi::parseUsbId(text);

    // "VID_xxxx&PID_yyyy" and one more character is a well-formed identifier of exactly that id.
    const orvi::UsbId again = orvi::parseUsbId(orvi::formatUsbId(found) + "&");
    if (again.vendorId != found.vendorId || again.productId != found.productId) {
        std::fprintf(stderr, "%s does not read back\n", orvi::formatUsbId(found).c_str());
        std::abort();
    }
    return 0;
}
