#include "device_state.h"

#include <shared_mutex>
#include <thread>

#include "capture_device.h"

namespace belnor {

FlashLayout DefaultFlashLayout() {
  FlashLayout layout{};
  layout.vendorBase = 0xCA000;
  layout.vendorSize = 0x400000 - layout.vendorBase;
  layout.settingsAddress = layout.vendorBase;
  layout.firmwareAddress = layout.vendorBase + 62;
  layout.productInfoAddress = layout.vendorBase + 64;
  layout.calibrationAddress = layout.vendorBase + 128;
  layout.userStart = 0x200000;
  layout.userSize = 0x20000;
  return layout;
}

std::atomic<int> g_bInitialized{0};
std::atomic<CCaptureDevice*> g_pCaptureDevice{nullptr};
std::atomic<int> g_nDevType{1};
std::atomic<int> g_nActiveDev{-1};
char g_DeviceString[80] = {};

std::atomic<int> g_SensorWidth{0};
std::atomic<int> g_SensorHeight{0};

namespace {
// Set on the thread whose init is starting the device.
thread_local bool t_startingDevice = false;
}  // namespace

bool DeviceReady() { return g_bInitialized.load() != 0 || t_startingDevice; }

StartingDevice::StartingDevice() { t_startingDevice = true; }

StartingDevice::~StartingDevice() { t_startingDevice = false; }

namespace {
std::atomic<int> g_WindowX{0};
std::atomic<int> g_WindowY{0};
std::atomic<int> g_WindowWidth{640};
std::atomic<int> g_WindowHeight{640};
// Odd while a window change is being written.
std::atomic<unsigned> g_WindowSequence{0};
}  // namespace

void StoreCaptureWindow(int x, int y, int width, int height) {
  g_WindowSequence.fetch_add(1, std::memory_order_acq_rel);
  g_WindowX.store(x);
  g_WindowY.store(y);
  g_WindowWidth.store(width);
  g_WindowHeight.store(height);
  g_WindowSequence.fetch_add(1, std::memory_order_acq_rel);
}

WindowSnapshot LoadCaptureWindow() {
  for (;;) {
    const unsigned before = g_WindowSequence.load(std::memory_order_acquire);
    if (before & 1u) {
      // The writer may have lost its processor in the middle of a change.
      std::this_thread::yield();
      continue;
    }
    const WindowSnapshot w{g_WindowX.load(), g_WindowY.load(), g_WindowWidth.load(),
                           g_WindowHeight.load()};
    if (g_WindowSequence.load(std::memory_order_acquire) == before) return w;
  }
}

namespace {
std::mutex g_FlashLayoutLock;
FlashLayout g_FlashLayout = DefaultFlashLayout();
}  // namespace

FlashLayout LoadFlashLayout() {
  std::lock_guard<std::mutex> hold(g_FlashLayoutLock);
  return g_FlashLayout;
}

void StoreFlashLayout(const FlashLayout& layout) {
  std::lock_guard<std::mutex> hold(g_FlashLayoutLock);
  g_FlashLayout = layout;
}

SettingsRecord g_Settings = {kSettingsMagic, kSettingsVersion, {}, 0};
ImgAttr& g_ImgAttr = g_Settings.attr;

FairLock g_CaptureLock;
std::mutex g_CommandLock;

namespace {

std::shared_mutex g_DeviceGuard;
thread_local int t_guardDepth = 0;

}  // namespace

DeviceAccess::DeviceAccess() {
  if (t_guardDepth++ == 0) g_DeviceGuard.lock_shared();
  device_ = g_pCaptureDevice.load();
}

DeviceAccess::~DeviceAccess() {
  if (--t_guardDepth == 0) g_DeviceGuard.unlock_shared();
}

void ReplaceCaptureDevice(CCaptureDevice* next) {
  CCaptureDevice* old = g_pCaptureDevice.load();
  // The worker may hold the guard; it must end before the exclusive wait.
  if (old) old->StopWorker();
  {
    std::unique_lock<std::shared_mutex> exclusive(g_DeviceGuard);
    old = g_pCaptureDevice.exchange(next);
    // Flash pages belong to the object they were read through; the reads
    // that fill them hold the guard, so none is half done here. A new object
    // may be another scanner: the product record read from the old one no
    // longer answers.
    ResetFlashPageCache();
    if (next) ResetProductInfoCache();
  }
  // No holder can reach the old object any more.
  delete old;
}

}  // namespace belnor
