#include "app_state.h"

#include <algorithm>
#include <cstring>

#include "capture_thread.h"

bool g_bInit = false;
std::unique_ptr<unsigned char[]> g_pImgBuf;
std::atomic<int> g_ImgW{0}, g_ImgH{0};
std::atomic<int> g_CurW{0}, g_CurH{0};
std::atomic<bool> g_CurSlap{false};
std::atomic<int> g_nRollMode{4};
std::atomic<int> g_ChangeSize{-1};
std::unique_ptr<LoopRcvAndDraw> pRcvDrawThread;
std::mutex g_Mutex;
std::mutex g_MutexCap;
unsigned char g_Fea[kTemplateSize] = {};

ImageCopy CopyScreenImage(size_t capacity) {
  ImageCopy copy;
  std::lock_guard<std::mutex> lock(g_Mutex);
  copy.width = g_CurW;
  copy.height = g_CurH;
  copy.slap = g_CurSlap;
  const size_t size = size_t(copy.width) * size_t(copy.height);
  copy.pixels.reset(new unsigned char[std::max(size, capacity)]);
  if (g_pImgBuf) std::memcpy(copy.pixels.get(), g_pImgBuf.get(), size);
  return copy;
}

std::unique_ptr<unsigned char[]> NewImageBuffer() {
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[kImageBufferSize]);
  std::memset(buffer.get(), 255, kImageBufferSize);
  return buffer;
}
