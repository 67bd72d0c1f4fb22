#include "display/Narrow.h"

namespace orvi {

std::string narrow(WideStringView text) {
    std::string result(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        result[i] = static_cast<char>(static_cast<unsigned char>(text[i] & 0xFF));
    }
    return result;
}

}  // namespace orvi
