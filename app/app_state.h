// State shared by the main window, its actions and the capture thread.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

class LoopRcvAndDraw;

// The largest capture mode, 1600 x 1500: the size of every image buffer.
constexpr int kImageBufferSize = 1600 * 1500;
constexpr int kTemplateSize = 1024;

extern bool g_bInit;  // opened (GUI thread only)
// The image on screen; its contents and g_CurW x g_CurH are guarded by g_Mutex.
extern std::unique_ptr<unsigned char[]> g_pImgBuf;
extern std::atomic<int> g_ImgW, g_ImgH;  // size of the current capture mode
// The size of the image in g_pImgBuf: the window the capture library
// delivered, which need not be the mode's (a type 2 scanner has one
// window, 256 x 360; type 1 keeps its window when refusing 1600 x 1500).
extern std::atomic<int> g_CurW, g_CurH;
extern std::atomic<bool> g_CurSlap;      // the image was taken in a slap mode
extern std::atomic<int> g_nRollMode;     // 3 rolled, 4 flat
extern std::atomic<int> g_ChangeSize;    // pending capture mode, -1 none
extern std::unique_ptr<LoopRcvAndDraw> pRcvDrawThread;
// Order: g_MutexCap, then g_Mutex. Standard mutexes rather than QMutex, so
// that ThreadSanitizer sees them (Qt's own library is not instrumented).
extern std::mutex g_Mutex;     // the image in g_pImgBuf
extern std::mutex g_MutexCap;  // one capture step, capture thread only
extern unsigned char g_Fea[kTemplateSize];  // Feature's reference template

// A copy of the image on screen, taken under g_Mutex.
struct ImageCopy {
  int width = 0, height = 0;
  bool slap = false;
  std::unique_ptr<unsigned char[]> pixels;
};
// Copies the image; the buffer holds `capacity` bytes (at least w x h).
ImageCopy CopyScreenImage(size_t capacity = 0);

// A new image buffer, white.
std::unique_ptr<unsigned char[]> NewImageBuffer();
