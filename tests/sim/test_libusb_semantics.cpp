// The libusb behaviour libuvc depends on, checked on the raw interface:
// real reference counting, several handles of one device, cancellation
// delivered from the event loop (never inside cancel), an event loop that
// returns when idle, NUL-terminated string descriptors.
#include <libusb.h>

#include <atomic>
#include <cstring>

#include "vscanner_test.h"

namespace {

struct Done {
    std::atomic<int> calls{0};
    std::atomic<int> status{-1};
    std::atomic<int> length{-1};
};

void LIBUSB_CALL OnTransfer(libusb_transfer* t) {
    auto* d = static_cast<Done*>(t->user_data);
    d->status = t->status;
    d->length = t->actual_length;
    ++d->calls;
}

class Usb : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(libusb_init(&ctx_), 0); }
    void TearDown() override {
        if (h_)
            libusb_close(h_);
        libusb_exit(ctx_);
    }
    void Open(uint16_t vid, uint16_t pid) {
        h_ = libusb_open_device_with_vid_pid(ctx_, vid, pid);
        ASSERT_NE(h_, nullptr);
    }
    // Runs the event loop until done->calls reaches n (bounded).
    void Pump(Done& d, int n) {
        for (int i = 0; i < 2000 && d.calls < n; ++i)
            libusb_handle_events_completed(ctx_, nullptr);
    }
    libusb_context* ctx_ = nullptr;
    libusb_device_handle* h_ = nullptr;
};

TEST_F(Usb, DevicesAreReferenceCounted) {
    AttachDevices("8899:1001,8899:1002");
    libusb_device** list = nullptr;
    ASSERT_EQ(libusb_get_device_list(ctx_, &list), 2);
    libusb_device* kept = libusb_ref_device(list[1]);
    libusb_free_device_list(list, 1);
    // Still valid: the reference keeps it.
    libusb_device_descriptor d;
    ASSERT_EQ(libusb_get_device_descriptor(kept, &d), 0);
    EXPECT_EQ(d.idProduct, 0x1002);
    // A second list hands out the same object.
    ASSERT_EQ(libusb_get_device_list(ctx_, &list), 2);
    EXPECT_EQ(list[1], kept);
    libusb_free_device_list(list, 1);
    libusb_device_handle* h = nullptr;
    ASSERT_EQ(libusb_open(kept, &h), 0);
    libusb_unref_device(kept); // the handle holds its own reference
    EXPECT_EQ(libusb_get_device(h), kept);
    EXPECT_EQ(libusb_get_device_descriptor(libusb_get_device(h), &d), 0);
    libusb_close(h);
}

TEST_F(Usb, SeveralHandlesOfOneDevice) {
    AttachDevices("8899:1002");
    Open(0x8899, 0x1002);
    libusb_device_handle* second = libusb_open_device_with_vid_pid(ctx_, 0x8899, 0x1002);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(VS(vscanner_open_handles)(0), 2);
    EXPECT_EQ(libusb_claim_interface(h_, 1), 0);
    EXPECT_EQ(libusb_claim_interface(second, 1), LIBUSB_ERROR_BUSY);
    // Control requests work on either.
    uint8_t b[2];
    EXPECT_EQ(libusb_control_transfer(second, 0xA1, 0x81, 0x0200, 0x0200, b, 2, 100), 2);
    libusb_close(second);
    EXPECT_EQ(VS(vscanner_open_handles)(0), 1);
    EXPECT_EQ(libusb_release_interface(h_, 1), 0);
}

TEST_F(Usb, StringDescriptorsAreTerminatedAndIndexZeroIsRefused) {
    AttachDevices("8899:1003/serial=XYZ123");
    Open(0x8899, 0x1003);
    libusb_device_descriptor d;
    ASSERT_EQ(libusb_get_device_descriptor(libusb_get_device(h_), &d), 0);
    unsigned char s[8];
    std::memset(s, 'x', sizeof s);
    EXPECT_EQ(libusb_get_string_descriptor_ascii(h_, d.iSerialNumber, s, sizeof s), 6);
    EXPECT_STREQ(reinterpret_cast<char*>(s), "XYZ123");
    // Cut to the buffer, still terminated.
    EXPECT_EQ(libusb_get_string_descriptor_ascii(h_, d.iProduct, s, sizeof s), 7);
    EXPECT_EQ(s[7], 0);
    EXPECT_LT(libusb_get_string_descriptor_ascii(h_, 0, s, sizeof s), 0);
    EXPECT_LT(libusb_get_string_descriptor_ascii(h_, 9, s, sizeof s), 0);
}

TEST_F(Usb, CancellationArrivesThroughTheEventLoop) {
    AttachDevices("8899:1002");
    Open(0x8899, 0x1002);
    // No stream committed: the IN transfer waits for data.
    std::vector<uint8_t> buffer(4096);
    libusb_transfer* t = libusb_alloc_transfer(0);
    Done done;
    libusb_fill_bulk_transfer(t, h_, 0x81, buffer.data(), int(buffer.size()), OnTransfer, &done, 0);
    ASSERT_EQ(libusb_submit_transfer(t), 0);
    EXPECT_EQ(libusb_submit_transfer(t), LIBUSB_ERROR_BUSY);
    libusb_handle_events_completed(ctx_, nullptr);
    EXPECT_EQ(done.calls, 0);
    ASSERT_EQ(libusb_cancel_transfer(t), 0);
    EXPECT_EQ(done.calls, 0); // not from inside cancel
    Pump(done, 1);
    EXPECT_EQ(done.calls, 1);
    EXPECT_EQ(done.status, LIBUSB_TRANSFER_CANCELLED);
    EXPECT_EQ(libusb_cancel_transfer(t), LIBUSB_ERROR_NOT_FOUND);
    libusb_free_transfer(t);
}

TEST_F(Usb, IdleEventLoopReturnsAndHonoursCompleted) {
    AttachDevices("8899:1002");
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(libusb_handle_events(ctx_), 0);
    int completed = 1;
    EXPECT_EQ(libusb_handle_events_completed(ctx_, &completed), 0);
    timeval tv{0, 0};
    EXPECT_EQ(libusb_handle_events_timeout_completed(ctx_, &tv, nullptr), 0);
}

TEST_F(Usb, StreamPayloadsCarryHeadersAndFrameBits) {
    AttachDevices("8899:1002", "30");
    Open(0x8899, 0x1002);
    ASSERT_EQ(libusb_claim_interface(h_, 1), 0);
    // Probe, then commit: the stream starts.
    uint8_t probe[26] = {0};
    ASSERT_EQ(libusb_control_transfer(h_, 0xA1, 0x83, 0x0100, 0x0001, probe, 26, 100), 26);
    ASSERT_EQ(libusb_control_transfer(h_, 0x21, 0x01, 0x0100, 0x0001, probe, 26, 100), 26);
    ASSERT_EQ(libusb_control_transfer(h_, 0xA1, 0x81, 0x0100, 0x0001, probe, 26, 100), 26);
    const uint32_t frameBytes = probe[18] | probe[19] << 8 | probe[20] << 16 | uint32_t(probe[21]) << 24;
    const uint32_t payload = probe[22] | probe[23] << 8 | probe[24] << 16 | uint32_t(probe[25]) << 24;
    EXPECT_EQ(frameBytes, 1280u * 720u * 2u);
    ASSERT_GT(payload, 2u);
    ASSERT_EQ(libusb_control_transfer(h_, 0x21, 0x01, 0x0200, 0x0001, probe, 26, 100), 26);
    EXPECT_EQ(VS(vscanner_is_streaming)(0), 1);

    std::vector<uint8_t> buffer(payload);
    libusb_transfer* t = libusb_alloc_transfer(0);
    Done done;
    libusb_fill_bulk_transfer(t, h_, 0x81, buffer.data(), int(payload), OnTransfer, &done, 0);
    // Read two whole frames, payload by payload.
    size_t got = 0;
    int frames = 0, fid = -1;
    for (int n = 0; frames < 2 && n < 1000; ++n) {
        const int before = done.calls;
        ASSERT_EQ(libusb_submit_transfer(t), 0);
        Pump(done, before + 1);
        ASSERT_EQ(done.calls, before + 1);
        ASSERT_EQ(done.status, LIBUSB_TRANSFER_COMPLETED);
        ASSERT_GE(done.length, 2);
        ASSERT_EQ(buffer[0], 2);
        ASSERT_TRUE(buffer[1] & 0x80);
        if (fid >= 0 && got == 0) {
            EXPECT_NE(buffer[1] & 1, fid); // the frame id toggles per frame
        }
        fid = buffer[1] & 1;
        got += size_t(done.length - 2);
        if (buffer[1] & 0x02) {
            EXPECT_EQ(got, frameBytes);
            got = 0;
            ++frames;
        }
    }
    EXPECT_EQ(frames, 2);
    // Alternate setting 0 ends the stream.
    ASSERT_EQ(libusb_set_interface_alt_setting(h_, 1, 0), 0);
    EXPECT_EQ(VS(vscanner_is_streaming)(0), 0);
    libusb_free_transfer(t);
}

TEST_F(Usb, UnplugCompletesPendingTransfersWithNoDevice) {
    AttachDevices("8899:1002");
    Open(0x8899, 0x1002);
    std::vector<uint8_t> buffer(512);
    libusb_transfer* t = libusb_alloc_transfer(0);
    Done done;
    libusb_fill_bulk_transfer(t, h_, 0x81, buffer.data(), 512, OnTransfer, &done, 0);
    ASSERT_EQ(libusb_submit_transfer(t), 0);
    VS(vscanner_unplug)(0);
    Pump(done, 1);
    EXPECT_EQ(done.status, LIBUSB_TRANSFER_NO_DEVICE);
    libusb_device** list = nullptr;
    EXPECT_EQ(libusb_get_device_list(ctx_, &list), 0);
    libusb_free_device_list(list, 1);
    libusb_free_transfer(t);
}

} // namespace
