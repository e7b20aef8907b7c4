// The scanner's 4 MiB flash, optionally mirrored in an image file so that
// its contents survive from one process to the next.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "factory_records.h"

namespace vscanner {

class FlashMemory {
public:
    static constexpr uint32_t kSize = kFlashSize;

    // Blank (0xFF); with a path, loads the file when it exists (a shorter
    // file leaves the rest blank); without one, starts as fresh (kSize
    // bytes) when given.
    explicit FlashMemory(std::string path, std::vector<uint8_t> fresh = {});

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
