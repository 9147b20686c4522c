// Placeholders until the card half of the display lands; the display work deletes this file.
#include "display/display.h"
uint32_t texturehandles[1024];
int init3d(int, int, int, int) { return 0; }
void beginframe(int, int) {}
void endframe(void) {}
void shutdowndisplay(void) {}
void closeglide(void) {}
void resettexturememory(void) {}
void texturepath(char *, const char *, const char *) {}
int loadtextures(void) { return 0; }
void drawobject(SceneObject *) {}
void drawsfxobject(SceneObject *) {}
