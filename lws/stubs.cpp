// Placeholders until the scene reader and loader land; that work deletes this file.
#include "lws/lws.h"
LwsScene *readlws(const char *) { return nullptr; }
void freelws(LwsScene *) {}
int linkchildren(const LwsScene *, Scene *) { return 0; }
Scene *loadscene(const char *, double) { return nullptr; }
SceneLight *createlight(float, float, float, float, float, float, float, int) { return nullptr; }
void lightdirection(SceneLight *, float, float, float) {}
void setambient(float, float, float, float) {}
