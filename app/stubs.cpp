// Placeholders until the driver, playback loop and shell land; that work deletes this file.
#include "app/app.h"
int32_t currentframe;
int32_t swapinterval;
int32_t clipplanecount;
void rundemo(int, char **) {}
void playscene(Scene *) {}
int keypending(void) { return 0; }
int errorbox(const char *) { return 0; }
char **parsecommandline(char *, int *argc) { *argc = 0; return nullptr; }
