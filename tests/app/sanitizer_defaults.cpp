// Sanitizer settings of the scanbench test programs (each read only by its
// sanitizer's builds). Qt's offscreen platform plugin never frees its screen
// (QScreen, its QPlatformScreen and their private data, 7 blocks); the whole
// stack is unwound so that the suppression can name the plugin rather than
// QObject. Qt and GLib are not built for ThreadSanitizer, so it cannot see
// the locks of their event queues and allocators: races reported inside
// them are left out; the program's own buffers use standard mutexes.
extern "C" {
__attribute__((visibility("default"), used)) const char *__asan_default_options() {
  return "fast_unwind_on_malloc=0";
}
__attribute__((visibility("default"), used)) const char *__lsan_default_suppressions() {
  return "leak:libqoffscreen.so\n";
}
__attribute__((visibility("default"), used)) const char *__tsan_default_suppressions() {
  return "race:libQt5Core.so\nrace:libQt5Gui.so\nrace:libQt5Widgets.so\nrace:libglib-2.0.so\n";
}
}
