/* A host program of the installed capture library; with the argument "open",
 * over the virtual scanner, it also opens the scanner and fetches a frame. */
#include <livescan.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv) {
  char text[256] = {0};
  static unsigned char frame[1600 * 1500];
  if (LIVESCAN_GetVersion() != 100) return 1;
  if (LIVESCAN_GetErrorInfo(-5, text) != 1 || strlen(text) == 0) return 2;
  /* Nothing is open yet. */
  if (LIVESCAN_BeginCapture(0) != -5) return 3;
  printf("libbelnor %d: %s\n", LIVESCAN_GetVersion(), text);
  if (argc < 2 || strcmp(argv[1], "open") != 0) return 0;
  /* On a busy machine the first frame may come after Init's own wait (-107,
   * the library stays open); the fetches wait on for it. */
  int opened = LIVESCAN_Init(), fetched = 0;
  if (opened != 1 && opened != -107) return 4;
  for (int i = 0; i < 30 && fetched != 1; ++i) fetched = LIVESCAN_GetFPRawData(0, frame);
  if (fetched != 1 || LIVESCAN_Close() != 1) return 5;
  printf("a frame from the scanner\n");
  return 0;
}
