// The screen, the log, the card device, textures on the card and polygon drawing.
#pragma once

#include <cstdint>
#include <cstdio>

struct Screen {
  int32_t height = 0;
  int32_t width = 0;
  int32_t depth = 0;
  int32_t centerx = 0;
  int32_t centery = 0;
  int32_t driver = 0;  // 1: the card, the only kind implemented
};

// The viewport; made by initscreen, never freed.
extern Screen *screen;
// "error3d.txt", opened by initscreen for the whole run; every folder writes to it.
extern FILE *errorlog;
// The colour each frame is cleared to, 0x00RRGGBB; 0 until setbackdropcolor.
extern uint32_t backdropcolor;

// Makes the screen and opens the log with "Init ok\n"; returns 1. Exits 123 without
// memory, 3 when the log cannot be created.
int initscreen(int width, int height, int depth, int driver);
// Sets the viewport size and centre; 0 when there is no screen yet.
int setviewport(int x0, int y0, int x1, int y1);
// Sets the colour each frame is cleared to, 0x00RRGGBB.
void setbackdropcolor(int red, int green, int blue);
