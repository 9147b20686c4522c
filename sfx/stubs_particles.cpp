// Placeholders until the particle systems land; that work deletes this file.
#include "sfx/sfx.h"
void sfxsrand(uint32_t) {}
int sfxrand(void) { return 0; }
int setupparticles(SfxObject *) { return 0; }
void particlebbox(SfxObject *) {}
void resetparticles(SfxObject *) {}
void updateparticles(SfxObject *, float, float, float, float) {}
void buildparticlemesh(SfxObject *) {}
