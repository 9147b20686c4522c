#include <cstdint>

#include "sfx/sfx.h"

namespace {

// The one generator of the particle effects. The C library's rand on this platform is a
// different generator, and the particles' look depends on this exact sequence, so it is
// kept here rather than borrowed. Shared by all effects by design: what one effect draws
// depends on the others active at the same time.
uint32_t sfxseed = 1;

}  // namespace

void sfxsrand(uint32_t seed) { sfxseed = seed; }

int sfxrand(void) {
  // Unsigned arithmetic wraps modulo 2^32, as the sequence requires.
  sfxseed = sfxseed * 214013u + 2531011u;
  return (int)((sfxseed >> 16) & 0x7FFFu);
}
