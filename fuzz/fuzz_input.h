// Reads a fuzzer's input as a sequence of small decisions, so that every target can turn the bytes
// into a sequence of calls. Past the end every read gives zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return position_ >= size_; }
    std::uint8_t byte() { return empty() ? 0 : data_[position_++]; }
    std::uint32_t word() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = (value << 8) | byte();
        }
        return value;
    }
    // A text of up to `longest` bytes, none of them NUL: its length comes first.
    std::string text(std::size_t longest) {
        std::string result(byte() % (longest + 1), '\0');
        for (char& c : result) {
            const std::uint8_t value = byte();
            c = value == 0 ? '0' : static_cast<char>(value);
        }
        return result;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};
