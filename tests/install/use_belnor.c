/* A host program of the installed capture library. */
#include <livescan.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  char text[256] = {0};
  if (LIVESCAN_GetVersion() != 100) return 1;
  if (LIVESCAN_GetErrorInfo(-5, text) != 1 || strlen(text) == 0) return 2;
  /* Nothing is open yet. */
  if (LIVESCAN_BeginCapture(0) != -5) return 3;
  printf("libbelnor %d: %s\n", LIVESCAN_GetVersion(), text);
  return 0;
}
