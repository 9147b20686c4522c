#include <cstdlib>

#include "display/display.h"
#include "platform/platform.h"

Screen *screen = nullptr;
FILE *errorlog = nullptr;
uint32_t backdropcolor = 0;

int initscreen(int width, int height, int depth, int driver) {
  Screen *s = (Screen *)malloc(sizeof(Screen));
  if (s == nullptr) {
    puts("Not enough memory!!!");
    exit(123);
  }
  *s = Screen{};
  s->height = height;
  s->width = width;
  s->depth = depth;
  s->centerx = width / 2;
  s->centery = height / 2;
  s->driver = driver;
  screen = s;
  errorlog = fopen("error3d.txt", "w");
  if (errorlog == nullptr) exit(3);
  fputs("Init ok\n", errorlog);
  return 1;
}

int setviewport(int x0, int y0, int x1, int y1) {
  if (screen == nullptr) return 0;
  screen->width = x1 - x0;
  screen->height = y1 - y0;
  screen->centerx = screen->width / 2 + x0;
  screen->centery = screen->height / 2 + y0;
  return 1;
}

void setbackdropcolor(int red, int green, int blue) {
  backdropcolor = (uint32_t)(red * 65536 + green * 256 + blue);
}
