// Sanitizer settings of the scanbench test programs (read only by ASan
// builds). Qt's offscreen platform plugin never frees its screen (QScreen,
// its QPlatformScreen and their private data, 7 blocks); the whole stack is
// unwound so that the suppression can name the plugin rather than QObject.
extern "C" {
__attribute__((visibility("default"), used)) const char *__asan_default_options() {
  return "fast_unwind_on_malloc=0";
}
__attribute__((visibility("default"), used)) const char *__lsan_default_suppressions() {
  return "leak:libqoffscreen.so\n";
}
}
