#include "display/display.h"

int main() {
  initscreen(640, 480, 16, 1);
  setviewport(0, 0, 640, 480);
  return 0;
}
