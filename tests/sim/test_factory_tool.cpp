// The factory tool's flash images, read back over USB as a host reads them.
#include <unistd.h>

#include <cstdlib>

#include "usb_wire.h"
#include "vscanner_test.h"

namespace {

int RunFactory(const std::string& args) {
    return std::system((std::string(VSCANNER_FACTORY) + " " + args + " >/dev/null 2>&1").c_str());
}

uint16_t U16(const std::vector<uint8_t>& v, size_t at) {
    return uint16_t(v[at] | v[at + 1] << 8);
}

// The checksum bit by bit: polynomial 0x8021 shifted in from 0xC010.
uint16_t BitwiseCrc16(const uint8_t* data, size_t n) {
    uint16_t reg = 0xC010;
    for (size_t i = 0; i < n; ++i)
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = reg & 0x8000;
            reg = uint16_t(reg << 1 | ((data[i] >> bit) & 1));
            if (top)
                reg ^= 0x8021;
        }
    return reg;
}

TEST(FactoryTool, Type1ImageCarriesProductInfoAndCalibration) {
    const std::string path = TempPath("t1.bin");
    std::remove(path.c_str());
    ASSERT_EQ(RunFactory("--model 8899:1001 --out " + path +
                         " --serial AB12CD34EF56GH78 --date 2023-11-05 --operator 513"),
              0);
    AttachDevices(("8899:1001/flash=" + path).c_str());
    UsbWire w(0x8899, 0x1001);
    ASSERT_TRUE(w.ok());
    const std::vector<uint8_t> info = w.FlashRead(0xCA040, 24);
    ASSERT_EQ(info.size(), 24u);
    EXPECT_EQ(std::string(info.begin(), info.begin() + 16), "AB12CD34EF56GH78");
    EXPECT_EQ(U16(info, 16), 2023);
    EXPECT_EQ(info[18], 11);
    EXPECT_EQ(info[19], 5);
    EXPECT_EQ(U16(info, 20), 513);

    const std::vector<uint8_t> header = w.FlashRead(0xCA080, 16);
    ASSERT_EQ(header.size(), 16u);
    EXPECT_EQ(U16(header, 0), 0x4241);
    EXPECT_EQ(U16(header, 2), 0x0110);
    const uint16_t size = U16(header, 4), nx = U16(header, 6), ny = U16(header, 8);
    EXPECT_EQ(nx, 11);
    EXPECT_EQ(ny, 11);
    EXPECT_EQ(size, 2 * (2 * nx * ny + nx + ny));
    EXPECT_EQ(U16(header, 10), 1424);
    EXPECT_EQ(U16(header, 12), 984);
    const std::vector<uint8_t> data = w.FlashRead(0xCA080 + 16, size);
    ASSERT_EQ(data.size(), size);
    EXPECT_EQ(U16(header, 14), BitwiseCrc16(data.data(), data.size()));
    // Node (0, 0) sits at the corrected image's origin shifted to the
    // sensor's middle; the last column position is the last pixel.
    EXPECT_EQ(U16(data, 0), (1424 - 640) / 2 * 10);
    EXPECT_EQ(U16(data, 2), (984 - 640) / 2 * 10);
    EXPECT_EQ(U16(data, size_t(4 * nx * ny + 2 * (nx - 1))), 6390);
    // The rest of the flash stays blank.
    EXPECT_EQ(w.FlashRead(0xCA000, 16), std::vector<uint8_t>(16, 0xFF));
    std::remove(path.c_str());
}

TEST(FactoryTool, Type5RecordsSitInThePagedArea) {
    const std::string path = TempPath("t5.bin");
    std::remove(path.c_str());
    ASSERT_EQ(RunFactory("--model 8899:1003 --out " + path + " --serial 0000111122223333"), 0);
    // Updating an image keeps what it held.
    AttachDevices(("8899:1003/flash=" + path).c_str());
    const uint8_t settings[4] = {0x46, 0x53, 0x03, 0x00};
    ASSERT_EQ(VS(vscanner_write_flash)(0, 0x20820, settings, 4), 0);
    ASSERT_EQ(RunFactory("--model 8899:1003 --out " + path + " --serial 9999888877776666"), 0);
    AttachDevices(("8899:1003/flash=" + path).c_str());
    UsbWire w(0x8899, 0x1003);
    ASSERT_TRUE(w.ok());
    std::vector<uint8_t> page(1024);
    ASSERT_EQ(w.PageAddress(0x20800), 4);
    ASSERT_EQ(w.PageRead(page.data()), 1024);
    EXPECT_EQ(std::string(page.begin(), page.begin() + 16), "9999888877776666");
    EXPECT_EQ(page[0x20], 0x46);
    EXPECT_EQ(page[0x21], 0x53);
    ASSERT_EQ(w.PageAddress(0x20000), 4);
    ASSERT_EQ(w.PageRead(page.data()), 1024);
    EXPECT_EQ(U16(page, 0x1A), 0x4241);
    EXPECT_EQ(U16(page, 0x1A + 6), 17);
    EXPECT_EQ(U16(page, 0x1A + 8), 16);
    std::remove(path.c_str());
}

TEST(FactoryTool, RefusesBadArguments) {
    const std::string path = TempPath("bad.bin");
    EXPECT_NE(RunFactory("--model 1234:5678 --out " + path), 0);
    EXPECT_NE(RunFactory("--model 8899:1001"), 0);
    EXPECT_NE(RunFactory("--model 8899:1001 --out " + path + " --serial 12345678901234567"), 0);
    EXPECT_NE(RunFactory("--model 8899:1001 --out " + path + " --date 2024-13-01"), 0);
    EXPECT_NE(access(path.c_str(), F_OK), 0);
}

} // namespace
