// Vendor packets, chunked flash read and write, verified transfers, the type-5
// page cache, the type-2 page shadow and the lamp registers, over a fake device.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "fake_vendor_device.h"
#include "flash_crc32.h"
#include "flash_protocol.h"
#include "vendor_packets.h"

using namespace belnor;
using belnor_test::FakeVendorDevice;

namespace {

std::vector<uint8_t> P(std::initializer_list<int> v) { return {v.begin(), v.end()}; }
std::vector<uint8_t> V(const VendorCommand &p) { return {p.begin(), p.end()}; }

TEST(VendorPackets, CommandLayouts) {
  EXPECT_EQ(V(LedPacket(true)), P({0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(V(LedPacket(false)), P({0x80, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(V(SensorModePacket(1)), P({0x81, 7, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(V(SensorModePacket(0)), P({0x81, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(V(FlashBeginPacket(0x00CA0000)), P({0xDA, 0, 0, 0xCA, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(V(FlashLengthPacket(25, 0xCADBBE3D)),
            P({0xDB, 0x0F, 25, 0, 0, 0, 0x3D, 0xBE, 0xDB, 0xCA, 0}));
  EXPECT_EQ(V(FlashReadRequestPacket(0xCA000, 16)), P({0, 0xA0, 0x0C, 0, 16, 0, 0, 0, 0, 0, 0}));
}

TEST(VendorPackets, DataPacketsAndEnd) {
  std::vector<uint8_t> data(25);
  std::iota(data.begin(), data.end(), 1);
  const auto packets = FlashDataPackets(data.data(), data.size());
  ASSERT_EQ(packets.size(), 3u);
  EXPECT_EQ(V(packets[0]), P({0xDD, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(V(packets[2]), P({0xDD, 21, 22, 23, 24, 25, 0, 0, 0, 0, 0}));
  EXPECT_EQ(V(FlashEndPacket(packets[2])), P({0xDE, 21, 22, 23, 24, 25, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(FlashDataPackets(data.data(), 0).empty());
  EXPECT_EQ(FlashDataPackets(data.data(), 10).size(), 1u);
  EXPECT_EQ(FlashDataPackets(data.data(), 11).size(), 2u);
}

TEST(FlashReplyAssembler, TakesCountsDiscardsBadOnesAndGivesUp) {
  uint8_t buf[16];
  std::memset(buf, 0xEE, sizeof buf);
  FlashReplyAssembler a(buf, 12);
  uint8_t r[11] = {10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(a.Take(r), FlashReplyAssembler::Step::kTaken);
  uint8_t zero[11] = {};
  EXPECT_EQ(a.Take(zero), FlashReplyAssembler::Step::kDiscarded);
  uint8_t big[11] = {11, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_EQ(a.Take(big), FlashReplyAssembler::Step::kDiscarded);
  EXPECT_FALSE(a.Done());
  uint8_t last[11] = {2, 11, 12, 0x77};
  EXPECT_EQ(a.Take(last), FlashReplyAssembler::Step::kTaken);
  EXPECT_TRUE(a.Done());
  EXPECT_EQ(a.Received(), 12u);
  EXPECT_EQ(buf[11], 12);
  EXPECT_EQ(buf[12], 0xEE);  // nothing beyond the length

  // An overlong last reply copies only what fits but counts all of it, so the
  // read does not come out at the requested length.
  FlashReplyAssembler over(buf, 5);
  EXPECT_EQ(over.Take(r), FlashReplyAssembler::Step::kTaken);
  EXPECT_EQ(over.Received(), 10u);
  EXPECT_EQ(buf[5], 6);  // from the earlier read, untouched

  FlashReplyAssembler stuck(buf, 4);
  int discards = 0;
  while (stuck.Take(zero) == FlashReplyAssembler::Step::kDiscarded) ++discards;
  EXPECT_EQ(discards + 1, FlashReplyAssembler::kMaxDiscardsInARow);
}

TEST(ChunkedFlashRead, RequestBytesAndReplies) {
  FakeVendorDevice dev;
  for (int i = 0; i < 16; ++i) dev.flash[0xCA000 + i] = uint8_t(0x40 + i);
  uint8_t buf[16] = {};
  EXPECT_EQ(ChunkedFlashRead(dev.Transfer(), 0xCA000, buf, 16), 16u);
  EXPECT_EQ(std::memcmp(buf, &dev.flash[0xCA000], 16), 0);
  ASSERT_EQ(dev.log.size(), 3u);  // request, 10 + 6
  EXPECT_EQ(dev.log[0].request.requestType, 0x21);
  EXPECT_EQ(dev.log[0].request.value, 0x1100);
  EXPECT_EQ(dev.log[0].request.index, 0x0300);
  EXPECT_EQ(dev.log[0].payload, P({0, 0xA0, 0x0C, 0, 16, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(dev.log[1].request.requestType, 0xA1);
  EXPECT_EQ(dev.log[1].request.request, 0x81);
  EXPECT_EQ(dev.log[1].payload[0], 10);
  EXPECT_EQ(dev.log[2].payload[0], 6);
}

TEST(ChunkedFlashRead, EmptyRepliesAreReadAgainAndAStuckDeviceIsGivenUpOn) {
  FakeVendorDevice dev;
  dev.zeroRepliesBeforeEach = 3;
  dev.oversizedEvery = 4;
  std::vector<uint8_t> buf(24);
  EXPECT_EQ(ChunkedFlashRead(dev.Transfer(), 0xCA040, buf.data(), 24), 24u);

  FakeVendorDevice stuck;
  stuck.stuckReplies = true;
  std::fill(buf.begin(), buf.end(), 0x5A);
  EXPECT_EQ(ChunkedFlashRead(stuck.Transfer(), 0xCA040, buf.data(), 24), 0u);
  EXPECT_EQ(stuck.log.size(), 1u + FlashReplyAssembler::kMaxDiscardsInARow);
  EXPECT_EQ(buf[0], 0x5A);  // a failed read leaves the buffer as it was

  FakeVendorDevice failing;
  failing.failReplyAfter = 1;
  EXPECT_EQ(ChunkedFlashRead(failing.Transfer(), 0xCA040, buf.data(), 24), 10u);
  FakeVendorDevice noRequest;
  noRequest.failing = {{0x1100, 0x0300}};
  EXPECT_EQ(ChunkedFlashRead(noRequest.Transfer(), 0xCA040, buf.data(), 24), 0u);
}

TEST(ChunkedFlashWrite, PacketSequenceProgramsTheDevice) {
  FakeVendorDevice dev;
  std::vector<uint8_t> data(25);
  std::iota(data.begin(), data.end(), 100);
  EXPECT_EQ(ChunkedFlashWrite(dev.Transfer(), 0xCA000, data.data(), 25), 25u);
  const auto cmds = dev.Commands();
  ASSERT_EQ(cmds.size(), 6u);
  EXPECT_EQ(cmds[0].payload, V(FlashBeginPacket(0xCA000)));
  EXPECT_EQ(cmds[1].payload, V(FlashLengthPacket(25, FlashCrc32(data.data(), 25))));
  EXPECT_EQ(cmds[2].payload[0], 0xDD);
  EXPECT_EQ(cmds[4].payload, P({0xDD, 120, 121, 122, 123, 124, 0, 0, 0, 0, 0}));
  EXPECT_EQ(cmds[5].payload, P({0xDE, 120, 121, 122, 123, 124, 0, 0, 0, 0, 0}));
  EXPECT_EQ(std::memcmp(&dev.flash[0xCA000], data.data(), 25), 0);

  FakeVendorDevice empty;
  EXPECT_EQ(ChunkedFlashWrite(empty.Transfer(), 0xCA000, nullptr, 0), 0u);
  EXPECT_EQ(empty.Commands().size(), 2u);  // 0xDA and 0xDB only
}

struct Port {
  FakeVendorDevice &dev;
  FlashReadFn Read() {
    return [this](uint32_t a, uint8_t *b, uint32_t n) {
      return ChunkedFlashRead(dev.Transfer(), a, b, n);
    };
  }
  FlashWriteFn Write() {
    return [this](uint32_t a, const uint8_t *d, uint32_t n) {
      return ChunkedFlashWrite(dev.Transfer(), a, d, n);
    };
  }
};

TEST(VerifiedFlashWrite, RetriesUntilTheReadBackMatches) {
  std::vector<uint8_t> data(16, 0x42);
  {
    FakeVendorDevice dev;
    dev.rejectWrites = 2;  // third try sticks
    Port port{dev};
    EXPECT_TRUE(VerifiedFlashWrite(port.Read(), port.Write(), 0xCA000, data.data(), 16));
    EXPECT_EQ(dev.programs, 1);
  }
  {
    FakeVendorDevice dev;
    dev.corruptWrites = 3;
    Port port{dev};
    EXPECT_FALSE(VerifiedFlashWrite(port.Read(), port.Write(), 0xCA000, data.data(), 16));
    EXPECT_EQ(dev.programs, 3);  // three tries, no fourth
    int begins = 0;
    for (const auto &c : dev.Commands()) begins += c.payload[0] == 0xDA;
    EXPECT_EQ(begins, 3);
  }
  {
    FakeVendorDevice dev;
    Port port{dev};
    uint8_t back[16];
    EXPECT_TRUE(VerifiedFlashRead(port.Read(), 0xCA000, back, 16));
    dev.failReplyAfter = 1;
    EXPECT_FALSE(VerifiedFlashRead(port.Read(), 0xCA000, back, 16));
  }
}

TEST(Type5PageCache, LoadsPagesOnceAndRefusesWhatItCannotServe) {
  FakeVendorDevice dev;
  for (int i = 0; i < 4096; ++i) dev.flash[0x20000 + i] = uint8_t(i * 7);
  Type5PageCache cache;
  uint8_t info[24];
  EXPECT_EQ(cache.Read(dev.Transfer(), 0x20800, info, 24), 24u);
  ASSERT_EQ(dev.log.size(), 2u);
  EXPECT_EQ(dev.log[0].request.value, 0x0E00);
  EXPECT_EQ(dev.log[0].payload, P({0x00, 0x08, 0x02, 0x00}));
  EXPECT_EQ(dev.log[1].request.length, 1024);
  EXPECT_EQ(std::memcmp(info, &dev.flash[0x20800], 24), 0);
  EXPECT_EQ(cache.Read(dev.Transfer(), 0x20808, info, 16), 16u);
  EXPECT_EQ(dev.pageReads, 1);  // served from the cache

  // A range over three pages loads the two missing ones.
  std::vector<uint8_t> big(1500);
  EXPECT_EQ(cache.Read(dev.Transfer(), 0x20300, big.data(), 1500), 1500u);
  EXPECT_EQ(std::memcmp(big.data(), &dev.flash[0x20300], 1500), 0);
  EXPECT_EQ(dev.pageReads, 3);

  // Outside [0x20000, 0x21000): refused without touching the device.
  const size_t before = dev.log.size();
  EXPECT_EQ(cache.Read(dev.Transfer(), 0x1FFFF, info, 2), 0u);
  EXPECT_EQ(cache.Read(dev.Transfer(), 0x20FF0, info, 24), 0u);
  EXPECT_EQ(cache.Read(dev.Transfer(), 0xFFFFFFF0u, info, 24), 0u);
  EXPECT_EQ(dev.log.size(), before);
  EXPECT_EQ(cache.Read(dev.Transfer(), 0x20FE8, info, 24), 24u);  // last bytes of the area

  cache.Reset();
  EXPECT_FALSE(cache.PageLoaded(2));
}

TEST(Type5PageCache, APageThatFailsToLoadFailsTheWholeRead) {
  FakeVendorDevice dev;
  dev.failPageReadsFor = 1;
  Type5PageCache cache;
  std::vector<uint8_t> buf(100, 0x33);
  EXPECT_EQ(cache.Read(dev.Transfer(), 0x203E0, buf.data(), 100), 0u);  // pages 0 and 1
  EXPECT_TRUE(cache.PageLoaded(0));
  EXPECT_FALSE(cache.PageLoaded(1));
  EXPECT_EQ(buf[0], 0x33);
  EXPECT_EQ(cache.Read(dev.Transfer(), 0x20000, buf.data(), 100), 100u);  // page 0 alone is fine
  FakeVendorDevice noAddress;
  noAddress.failing = {{0x0E00, 0x0400}};
  Type5PageCache other;
  EXPECT_EQ(other.Read(noAddress.Transfer(), 0x20000, buf.data(), 4), 0u);
  EXPECT_EQ(noAddress.pageReads, 0);
}

struct ShadowFixture : testing::Test {
  FakeVendorDevice dev;
  FlashWriteTransaction tx;
  int pageReadCalls = 0;
  FlashWriteTransaction::PageReadFn reader = [this](uint32_t a, uint8_t *d, uint32_t n) {
    ++pageReadCalls;
    return ChunkedFlashRead(dev.Transfer(), a, d, n) == n ? 1 : -101;
  };
  std::vector<uint32_t> written;
  FlashWriteTransaction::PageWriteFn writer = [this](uint32_t a, const uint8_t *d, uint32_t n) {
    written.push_back(a);
    Port port{dev};
    return VerifiedFlashWrite(port.Read(), port.Write(), a, d, n);
  };
};

TEST_F(ShadowFixture, WriteNeedsAnOpenTransaction) {
  uint8_t d[16] = {};
  EXPECT_EQ(tx.Write(0x20000, d, 16, reader), -105);
  EXPECT_EQ(tx.Commit(writer), -105);
  tx.Begin(false, 0x20000, 0x60000);  // a transaction without a shadow
  EXPECT_EQ(tx.Write(0x20000, d, 16, reader), -105);
  EXPECT_EQ(tx.Commit(writer), 1);
  EXPECT_FALSE(tx.IsOpen());
}

TEST_F(ShadowFixture, WholePagesAreRewrittenAndTheRestOfThePageKept) {
  for (int i = 0; i < 4096; ++i) dev.flash[0x20000 + i] = uint8_t(i ^ 0x5C);
  const std::vector<uint8_t> before(dev.flash.begin() + 0x20000, dev.flash.begin() + 0x21000);
  tx.Begin(true, 0x20000, 0x60000);
  tx.Begin(true, 0x20000, 0x60000);  // nothing when already open
  uint8_t rec[16];
  std::memset(rec, 0xA7, sizeof rec);
  EXPECT_EQ(tx.Write(0x20000, rec, 16, reader), 1);
  EXPECT_EQ(pageReadCalls, 1);
  EXPECT_EQ(tx.Write(0x20004, rec, 4, reader), 1);  // same page: no new read
  EXPECT_EQ(pageReadCalls, 1);
  EXPECT_EQ(tx.Commit(writer), 1);
  EXPECT_EQ(written, std::vector<uint32_t>({0x20000}));
  std::vector<uint8_t> want = before;
  std::memset(want.data(), 0xA7, 16);
  EXPECT_TRUE(std::equal(want.begin(), want.end(), dev.flash.begin() + 0x20000));
  // Each commit writes one 4 KB page through 410 data packets.
  int data = 0;
  for (const auto &c : dev.Commands()) data += c.payload[0] == 0xDD;
  EXPECT_EQ(data, 410);
}

TEST_F(ShadowFixture, ASpanningWriteDirtiesBothPagesCommittedInOrder) {
  tx.Begin(true, 0x20000, 0x60000);
  std::vector<uint8_t> d(32, 0x11);
  EXPECT_EQ(tx.Write(0x22FF0, d.data(), 32, reader), 1);
  EXPECT_EQ(tx.DirtyPages(), std::vector<uint32_t>({0x22, 0x23}));
  EXPECT_EQ(tx.Write(0x20010, d.data(), 4, reader), 1);
  EXPECT_EQ(tx.Commit(writer), 1);
  EXPECT_EQ(written, std::vector<uint32_t>({0x20000, 0x22000, 0x23000}));
  EXPECT_EQ(dev.flash[0x22FF0], 0x11);
  EXPECT_EQ(dev.flash[0x2300F], 0x11);
  EXPECT_EQ(dev.flash[0x23010], 0xFF);
}

TEST_F(ShadowFixture, RangesOutsideTheShadowAreRefused) {
  tx.Begin(true, 0x20000, 0x60000);
  uint8_t d[16] = {};
  EXPECT_EQ(tx.Write(0x1FFF0, d, 16, reader), -1);  // below the base
  EXPECT_EQ(tx.Write(0x5FFF8, d, 16, reader), -1);  // beyond the bound
  EXPECT_EQ(tx.Write(0xFFFFFFF8u, d, 16, reader), -1);  // wraps
  EXPECT_EQ(tx.Write(0x5FFF0, d, 16, reader), 1);
  EXPECT_EQ(pageReadCalls, 1);
}

TEST_F(ShadowFixture, AFailedPageReadChangesNothingAndAFailedPageFailsTheCommit) {
  tx.Begin(true, 0x20000, 0x60000);
  dev.failReplyAfter = 0;
  uint8_t d[16] = {};
  EXPECT_EQ(tx.Write(0x20000, d, 16, reader), -101);
  EXPECT_TRUE(tx.DirtyPages().empty());
  dev.failReplyAfter = -1;
  EXPECT_EQ(tx.Write(0x20000, d, 16, reader), 1);
  dev.corruptWrites = 3;
  EXPECT_EQ(tx.Commit(writer), -101);
  EXPECT_FALSE(tx.IsOpen());
  EXPECT_EQ(tx.Commit(writer), -105);
}

TEST(LampRegisters, WriteValuesAndReadBack) {
  const uint8_t a[3] = {1, 0, 1}, b[3] = {0, 1, 0}, all[3] = {1, 1, 1}, none[3] = {0, 0, 0};
  EXPECT_EQ(LampWriteValues(a).a, 0x02);
  EXPECT_EQ(LampWriteValues(a).b, 0x03);
  EXPECT_EQ(LampWriteValues(b).a, 0x08);
  EXPECT_EQ(LampWriteValues(b).b, 0x0A);
  EXPECT_EQ(LampWriteValues(all).a, 0x0A);
  EXPECT_EQ(LampWriteValues(all).b, 0x0B);
  EXPECT_EQ(LampWriteValues(none).b, 0x02);

  for (int bits = 0; bits < 8; ++bits) {
    FakeVendorDevice dev;
    uint8_t lamps[3] = {uint8_t(bits & 1), uint8_t((bits >> 1) & 1), uint8_t(bits >> 2 ? 7 : 0)};
    EXPECT_EQ(AccessLampRegisters(dev.Transfer(), lamps, false), 1);
    const LampRegisterValues v = LampWriteValues(lamps);
    EXPECT_EQ(dev.registers[0x2043], v.a);
    EXPECT_EQ(dev.registers[0x204C], v.b);
    uint8_t got[3] = {9, 9, 9};
    EXPECT_EQ(AccessLampRegisters(dev.Transfer(), got, true), 1);
    EXPECT_EQ(got[0], bits & 1);
    EXPECT_EQ(got[1], (bits >> 1) & 1);
    EXPECT_EQ(got[2], bits >> 2 ? 1 : 0);
  }
}

TEST(LampRegisters, WireSequenceAndFailures) {
  FakeVendorDevice dev;
  uint8_t lamps[3] = {1, 0, 1};
  ASSERT_EQ(AccessLampRegisters(dev.Transfer(), lamps, false), 1);
  ASSERT_EQ(dev.log.size(), 4u);
  EXPECT_EQ(dev.log[0].request.value, 0x0200);
  EXPECT_EQ(dev.log[0].request.index, 0x0400);
  EXPECT_EQ(dev.log[0].payload, P({0x43, 0x20}));
  EXPECT_EQ(dev.log[1].payload, P({0x02}));
  EXPECT_EQ(dev.log[2].payload, P({0x4C, 0x20}));
  EXPECT_EQ(dev.log[3].payload, P({0x03}));

  FakeVendorDevice badWrite;
  badWrite.failing = {{0x0300, 0x0400}};
  EXPECT_EQ(AccessLampRegisters(badWrite.Transfer(), lamps, false), -101);
  FakeVendorDevice badFirstRead;
  badFirstRead.failRegisterReads = 1;
  uint8_t got[3] = {5, 5, 5};
  EXPECT_EQ(AccessLampRegisters(badFirstRead.Transfer(), got, true), -101);
  EXPECT_EQ(got[0], 0);
  EXPECT_EQ(badFirstRead.log.size(), 2u);  // stops after the first read
  FakeVendorDevice badSecondRead;
  badSecondRead.failRegisterReads = 2;
  EXPECT_EQ(AccessLampRegisters(badSecondRead.Transfer(), got, true), -101);
}

}  // namespace
