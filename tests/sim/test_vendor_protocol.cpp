// The vendor extension units at the USB level: commands, flash write and
// chunked read, CRC rejection, lamp registers, type-5 pages and illumination,
// the wire log, flash persistence across processes.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <numeric>

#include "usb_wire.h"
#include "vscanner_test.h"

namespace {

std::vector<uint8_t> Bytes(uint32_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (uint32_t i = 0; i < n; ++i)
        v[i] = uint8_t(seed + i * 7);
    return v;
}

std::vector<uint8_t> DeviceFlash(int dev, uint32_t address, uint32_t n) {
    std::vector<uint8_t> v(n);
    EXPECT_EQ(VS(vscanner_read_flash)(dev, address, v.data(), n), 0);
    return v;
}

TEST(VendorFlash, WriteThenChunkedReadBack) {
    AttachDevices("8899:1001");
    UsbWire w(0x8899, 0x1001);
    ASSERT_TRUE(w.ok());
    const std::vector<uint8_t> data = Bytes(25, 3);
    w.FlashWrite(0xCA000, data);
    EXPECT_EQ(DeviceFlash(0, 0xCA000, 25), data);
    EXPECT_EQ(DeviceFlash(0, 0xCA000 + 25, 1)[0], 0xFF); // nothing beyond
    int programmed = 0, rejected = 0;
    VS(vscanner_flash_stats)(0, &programmed, &rejected);
    EXPECT_EQ(programmed, 1);
    EXPECT_EQ(rejected, 0);

    std::vector<int> counts;
    EXPECT_EQ(w.FlashRead(0xCA000, 25, &counts), data);
    EXPECT_EQ(counts, (std::vector<int>{10, 10, 5}));
    // Nothing pending: the device answers a count of 0.
    uint8_t reply[11];
    ASSERT_EQ(w.Get(0x1100, 0x0300, reply, 11), 11);
    EXPECT_EQ(reply[0], 0);
}

TEST(VendorFlash, FourKilobytePageRoundTrip) {
    AttachDevices("8899:1002");
    UsbWire w(0x8899, 0x1002);
    ASSERT_TRUE(w.ok());
    const std::vector<uint8_t> page = Bytes(4096, 11);
    w.FlashWrite(0x20000, page);
    std::vector<int> counts;
    EXPECT_EQ(w.FlashRead(0x20000, 4096, &counts), page);
    EXPECT_EQ(counts.size(), 410u);
    EXPECT_EQ(counts.back(), 6);
}

TEST(VendorFlash, BadCrcOrMissingDataLeavesFlashUnchanged) {
    AttachDevices("8899:1002");
    UsbWire w(0x8899, 0x1002);
    ASSERT_TRUE(w.ok());
    const std::vector<uint8_t> before = DeviceFlash(0, 0x20000, 64);
    w.FlashWrite(0x20000, Bytes(16, 1), 0x1);
    EXPECT_EQ(DeviceFlash(0, 0x20000, 64), before);

    // The end packet before all data arrived.
    w.Command({0xDA, 0x00, 0x00, 0x02, 0x00});
    const std::vector<uint8_t> d = Bytes(16, 2);
    const uint32_t crc = UsbWire::Crc(d.data(), 16);
    w.Command({0xDB, 0x0F, 16, 0, 0, 0, uint8_t(crc), uint8_t(crc >> 8), uint8_t(crc >> 16), uint8_t(crc >> 24)});
    std::vector<uint8_t> p(11, 0);
    p[0] = 0xDD;
    std::copy(d.begin(), d.begin() + 10, p.begin() + 1);
    w.Command(p);
    p[0] = 0xDE;
    w.Command(p);
    EXPECT_EQ(DeviceFlash(0, 0x20000, 64), before);

    // The device-side CRC fault rejects a correct write once.
    VS(vscanner_set_fault)(0, VSCANNER_FAULT_FLASH_CRC, 1);
    w.FlashWrite(0x20000, d);
    EXPECT_EQ(DeviceFlash(0, 0x20000, 64), before);
    w.FlashWrite(0x20000, d);
    EXPECT_EQ(DeviceFlash(0, 0x20000, 16), d);
    int programmed = 0, rejected = 0;
    VS(vscanner_flash_stats)(0, &programmed, &rejected);
    EXPECT_EQ(programmed, 1);
    EXPECT_EQ(rejected, 3);
}

TEST(VendorFlash, ChecksumHasNoFinalInversion) {
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(UsbWire::Crc(abc, 3), 0xCADBBE3Du);
    AttachDevices("8899:1001");
    UsbWire w(0x8899, 0x1001);
    ASSERT_TRUE(w.ok());
    w.FlashWrite(0x200000, {'a', 'b', 'c'});
    EXPECT_EQ(DeviceFlash(0, 0x200000, 3), (std::vector<uint8_t>{'a', 'b', 'c'}));
}

TEST(VendorFlash, ReplyCountFaultsAndRangeChecks) {
    AttachDevices("8899:1001");
    UsbWire w(0x8899, 0x1001);
    ASSERT_TRUE(w.ok());
    const std::vector<uint8_t> data = Bytes(16, 5);
    ASSERT_EQ(VS(vscanner_write_flash)(0, 0xCA000, data.data(), 16), 0);

    VS(vscanner_set_fault)(0, VSCANNER_FAULT_FLASH_COUNT_ZERO, 2);
    std::vector<int> counts;
    EXPECT_EQ(w.FlashRead(0xCA000, 16, &counts), data);
    EXPECT_EQ(counts, (std::vector<int>{0, 0, 10, 6}));

    VS(vscanner_set_fault)(0, VSCANNER_FAULT_FLASH_COUNT_BAD, 1);
    counts.clear();
    EXPECT_EQ(w.FlashRead(0xCA000, 16, &counts), data);
    EXPECT_EQ(counts, (std::vector<int>{11, 10, 6}));

    // A stuck device never gets anywhere.
    VS(vscanner_set_fault)(0, VSCANNER_FAULT_FLASH_COUNT_ZERO, -1);
    EXPECT_TRUE(w.FlashRead(0xCA000, 16, nullptr, 50).empty());
    VS(vscanner_set_fault)(0, VSCANNER_FAULT_FLASH_COUNT_ZERO, 0);

    // Beyond the 4 MiB the request stalls.
    int r = 0;
    w.FlashRead(0x3FFFF8, 16, nullptr, 1, &r);
    EXPECT_EQ(r, LIBUSB_ERROR_PIPE);
}

TEST(VendorCommands, LedAndSensorMode) {
    AttachDevices("8899:1002");
    UsbWire w(0x8899, 0x1002);
    ASSERT_TRUE(w.ok());
    EXPECT_EQ(VS(vscanner_led)(0), 0);
    EXPECT_EQ(VS(vscanner_sensor_mode)(0), 0);
    EXPECT_EQ(w.Command({0x81, 0x07, 0x01}), 11);
    EXPECT_EQ(w.Command({0x80, 0x00}), 11);
    EXPECT_EQ(VS(vscanner_led)(0), 1);
    EXPECT_EQ(VS(vscanner_sensor_mode)(0), 1);
    EXPECT_EQ(w.Command({0x80, 0x11}), 11);
    EXPECT_EQ(w.Command({0x81, 0x07, 0x00}), 11);
    EXPECT_EQ(VS(vscanner_led)(0), 0);
    EXPECT_EQ(VS(vscanner_sensor_mode)(0), 0);
    // A command packet must be 11 bytes.
    uint8_t shortPacket[4] = {0x80, 0x00};
    EXPECT_EQ(w.Set(0x0200, 0x0300, shortPacket, 4), LIBUSB_ERROR_PIPE);
}

TEST(VendorCommands, WireLogHoldsTheExactRequests) {
    AttachDevices("8899:1001");
    UsbWire w(0x8899, 0x1001);
    ASSERT_TRUE(w.ok());
    VS(vscanner_wire_clear)(0);
    w.FlashRead(0xCA000, 16);
    ASSERT_EQ(VS(vscanner_wire_count)(0), 3);
    vscanner_wire_entry e;
    ASSERT_EQ(VS(vscanner_wire_get)(0, 0, &e), 0);
    EXPECT_EQ(e.request_type, 0x21);
    EXPECT_EQ(e.request, 0x01);
    EXPECT_EQ(e.value, 0x1100);
    EXPECT_EQ(e.index, 0x0300);
    EXPECT_EQ(e.length, 11);
    EXPECT_EQ(e.result, 11);
    const uint8_t expected[11] = {0x00, 0xA0, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(e.data, expected, 11), 0);
    ASSERT_EQ(VS(vscanner_wire_get)(0, 2, &e), 0);
    EXPECT_EQ(e.request_type, 0xA1);
    EXPECT_EQ(e.data[0], 6); // the reply as sent
    EXPECT_EQ(VS(vscanner_wire_get)(0, 3, &e), -1);
}

TEST(VendorRegisters, LampBitsReadAndWrite) {
    AttachDevices("8899:1001");
    UsbWire w(0x8899, 0x1001);
    ASSERT_TRUE(w.ok());
    // Lamps {1, 0, 1}.
    EXPECT_EQ(w.SelectRegister(0x2043), 2);
    EXPECT_EQ(w.WriteRegister(0x02), 1);
    EXPECT_EQ(w.SelectRegister(0x204C), 2);
    EXPECT_EQ(w.WriteRegister(0x03), 1);
    EXPECT_EQ(VS(vscanner_get_register)(0, 0x2043), 0x02);
    EXPECT_EQ(VS(vscanner_get_register)(0, 0x204C), 0x03);
    uint8_t v = 0;
    EXPECT_EQ(w.SelectRegister(0x2043), 2);
    EXPECT_EQ(w.ReadRegister(&v), 1);
    EXPECT_EQ(v, 0x02);
    // A preset from the test is what the host reads.
    VS(vscanner_set_register)(0, 0x204C, 0x0A);
    EXPECT_EQ(w.SelectRegister(0x204C), 2);
    EXPECT_EQ(w.ReadRegister(&v), 1);
    EXPECT_EQ(v, 0x0A);
    // A stalled register transfer, as a host's lamp code must survive it.
    VS(vscanner_set_control_fault)(0, VSCANNER_FAULT_CONTROL_STALL, 1, VSCANNER_UNIT_XU_REGISTER, 0x03);
    EXPECT_EQ(w.ReadRegister(&v), LIBUSB_ERROR_PIPE);
    EXPECT_EQ(w.ReadRegister(&v), 1);
}

TEST(VendorType5, PagesAndIllumination) {
    AttachDevices("8899:1003");
    UsbWire w(0x8899, 0x1003);
    ASSERT_TRUE(w.ok());
    const std::vector<uint8_t> info = Bytes(1024, 9);
    ASSERT_EQ(VS(vscanner_write_flash)(0, 0x20800, info.data(), 1024), 0);
    EXPECT_EQ(w.PageAddress(0x20800), 4);
    std::vector<uint8_t> page(1024);
    EXPECT_EQ(w.PageRead(page.data()), 1024);
    EXPECT_EQ(page, info);
    // Past the end of the flash the page read stalls.
    EXPECT_EQ(w.PageAddress(0x3FFF00), 4);
    EXPECT_EQ(w.PageRead(page.data()), LIBUSB_ERROR_PIPE);
    // Type 5 has no command unit; its illumination is PU saturation.
    EXPECT_EQ(w.Command({0x80, 0x00}), LIBUSB_ERROR_PIPE);
    EXPECT_EQ(VS(vscanner_led)(0), 0);
    const uint8_t on[2] = {70, 0}, off[2] = {0, 0};
    EXPECT_EQ(w.Set(0x0700, 0x0200, on, 2), 2);
    EXPECT_EQ(VS(vscanner_led)(0), 1);
    EXPECT_EQ(w.Set(0x0700, 0x0200, off, 2), 2);
    EXPECT_EQ(VS(vscanner_led)(0), 0);
    // Lamps work on every type.
    EXPECT_EQ(w.SelectRegister(0x2043), 2);
    EXPECT_EQ(w.WriteRegister(0x08), 1);
    EXPECT_EQ(VS(vscanner_get_register)(0, 0x2043), 0x08);
}

TEST(VendorType5, OtherTypesHaveNoPageSelectors) {
    AttachDevices("8899:1002");
    UsbWire w(0x8899, 0x1002);
    ASSERT_TRUE(w.ok());
    uint8_t page[1024];
    EXPECT_EQ(w.PageAddress(0x20000), LIBUSB_ERROR_PIPE);
    EXPECT_EQ(w.PageRead(page), LIBUSB_ERROR_PIPE);
}

TEST(VendorDevice, UnplugFailsLaterRequestsAndReplugPowersUpAfresh) {
    AttachDevices("8899:1002");
    UsbWire w(0x8899, 0x1002);
    ASSERT_TRUE(w.ok());
    EXPECT_EQ(w.Command({0x80, 0x00}), 11);
    const std::vector<uint8_t> data = Bytes(16, 4);
    w.FlashWrite(0x20000, data);
    VS(vscanner_unplug)(0);
    EXPECT_EQ(VS(vscanner_is_attached)(0), 0);
    EXPECT_EQ(w.Command({0x80, 0x11}), LIBUSB_ERROR_NO_DEVICE);
    EXPECT_EQ(libusb_claim_interface(w.handle(), 0), LIBUSB_ERROR_NO_DEVICE);
    VS(vscanner_replug)(0);
    // The old handle stays dead; a new one sees the device powered up
    // with its flash kept.
    EXPECT_EQ(w.Command({0x80, 0x00}), LIBUSB_ERROR_NO_DEVICE);
    UsbWire again(0x8899, 0x1002);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(VS(vscanner_led)(0), 0);
    EXPECT_EQ(again.FlashRead(0x20000, 16), data);
}

TEST(VendorFlash, ImageFilePersistsAcrossProcesses) {
    const std::string path = TempPath("flash.bin");
    std::remove(path.c_str());
    const std::string spec = "8899:1002/flash=" + path;
    const std::vector<uint8_t> data = Bytes(40, 8);
    // The first process programs the flash over USB and exits.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        VS(vscanner_reset)(spec.c_str());
        UsbWire w(0x8899, 0x1002);
        if (!w.ok())
            _exit(2);
        w.FlashWrite(0x20010, data);
        _exit(w.FlashRead(0x20010, 40) == data ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    {
        std::ifstream f(path, std::ios::binary | std::ios::ate);
        EXPECT_EQ(f.tellg(), std::streampos(4 << 20));
    }
    // This process reads it back.
    AttachDevices(spec.c_str());
    UsbWire w(0x8899, 0x1002);
    ASSERT_TRUE(w.ok());
    EXPECT_EQ(w.FlashRead(0x20010, 40), data);
    EXPECT_EQ(w.FlashRead(0x20000, 16), std::vector<uint8_t>(16, 0xFF));
    std::remove(path.c_str());
}

} // namespace
