// The fuzz targets' reading of their input: front to back, in a small encoding of their own that
// hand-written seeds can follow. Past the end every read gives zeros, so every byte string decodes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvi::fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool atEnd() const { return position_ >= size_; }

    std::uint8_t byte() { return atEnd() ? 0 : data_[position_++]; }

    // Little-endian.
    std::uint16_t word() {
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | (byte() << 8));
    }

    std::uint32_t dword() {
        const std::uint32_t low = word();
        return low | (static_cast<std::uint32_t>(word()) << 16);
    }

    // One choice of `count` (count > 0).
    unsigned choice(unsigned count) { return byte() % count; }

    // A UTF-16 text of at most maxUnits units: a length byte (taken modulo maxUnits + 1), then one
    // byte per unit; the byte 0xFF stands for the unit in the next two bytes, so that units above
    // 0xFF (which narrowing cuts to their low byte) can be written.
    std::u16string text(std::size_t maxUnits) {
        const std::size_t length = byte() % (maxUnits + 1);
        std::u16string result;
        for (std::size_t i = 0; i < length && !atEnd(); ++i) {
            const std::uint8_t unit = byte();
            result.push_back(unit == 0xFF ? static_cast<char16_t>(word()) : static_cast<char16_t>(unit));
        }
        return result;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

}  // namespace orvi::fuzz
