// The scanner's 4 MiB flash, optionally mirrored in an image file so that
// its contents survive from one process to the next.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vscanner {

class FlashMemory {
public:
    static constexpr uint32_t kSize = 4u << 20;

    // Blank (0xFF); with a path, loads the file when it exists (a shorter
    // file leaves the rest blank).
    explicit FlashMemory(std::string path);

    bool InRange(uint32_t address, uint32_t length) const {
        return length <= kSize && address <= kSize - length;
    }
    // Both require InRange.
    void Read(uint32_t address, uint8_t* out, uint32_t length) const;
    // Programs the range and writes it through to the image file.
    void Program(uint32_t address, const uint8_t* data, uint32_t length);
    void Erase();

private:
    void Persist(uint32_t address, uint32_t length);

    std::string path_;
    std::vector<uint8_t> bytes_;
};

} // namespace vscanner
