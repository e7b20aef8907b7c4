// A host that opens the scanner, fetches one frame and leaves without
// LIVESCAN_Close: by returning from main ("exit"), or by unloading the
// library first ("dlclose"); or closes and unloads it as scanbench does
// ("close-dlclose"), which would unload the USB library beneath it as well
// (the virtual scanner stays mapped).
//   exit_host exit|dlclose|close-dlclose LIBRARY
// Exit status 0 when it got that far; a crash or a sanitizer report at exit
// or unload shows in the status.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

template <class Fn>
Fn Lookup(void *library, const char *name) {
  return reinterpret_cast<Fn>(dlsym(library, name));
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) return 64;
  const bool close = std::strcmp(argv[1], "close-dlclose") == 0;
  const bool unload = close || std::strcmp(argv[1], "dlclose") == 0;
  // Without Close the USB library (the virtual scanner here) stays, as in a
  // host that uses it elsewhere: only the capture library is unloaded, and
  // what the scanner keeps is not taken for a leak of the library.
  if (unload && !close && !dlopen("libusb-1.0.so.0", RTLD_NOW | RTLD_NODELETE)) return 71;
  void *library = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 65;
  }
  auto init = Lookup<int (*)()>(library, "LIVESCAN_Init");
  auto window = Lookup<int (*)(int, int *, int *, int *, int *)>(library, "LIVESCAN_GetCaptWindow");
  auto fetch = Lookup<int (*)(int, unsigned char *)>(library, "LIVESCAN_GetFPRawData");
  if (!init || !window || !fetch) return 66;
  // On a busy machine the first frame may take longer than init waits
  // (-107, the library stays open); the fetches wait for it.
  const int opened = init();
  if (opened != 1 && opened != -107) return 67;
  int x = 0, y = 0, width = 0, height = 0;
  if (window(0, &x, &y, &width, &height) != 1) return 68;
  std::vector<unsigned char> frame(size_t(width) * size_t(height));
  int fetched = 0;
  for (int i = 0; i < 30 && fetched != 1; ++i) fetched = fetch(0, frame.data());
  if (fetched != 1) return 69;
  auto closeScanner = Lookup<int (*)()>(library, "LIVESCAN_Close");
  if (close && (!closeScanner || closeScanner() != 1)) return 72;
  if (unload) {
    if (dlclose(library) != 0) return 70;
    // A thread left running would now run code that is no longer mapped.
    usleep(close ? 1000 * 1000 : 300 * 1000);
  }
  return 0;
}
