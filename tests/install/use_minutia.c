/* A host program of the installed algorithm library. */
#include <fplib.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  char version[8] = {0};
  if (FP_GetVersion(version) != FP_OK || strcmp(version, "1563") != 0) return 1;
  if (FP_GetVersion(NULL) == FP_OK) return 2;
  printf("libminutia %s\n", version);
  return 0;
}
