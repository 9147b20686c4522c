// Special-effect objects: particle systems and camera-facing meshes.
#pragma once

#include <cstdint>

#include "lwo/lwo.h"

struct Particle {
  float position[3] = {0, 0, 0};  // world space
  float color[3] = {0, 0, 0};     // 0..255
  float birthframe = 0;
  float life = 0;  // 1 at birth, falling to 0; not above 0 means the slot is free
};

struct SfxObject {
  int32_t sfxtype = 0;  // 0 the mesh itself, 1 particle system
  int32_t numparticles = 0;
  float quadwidth = 0;
  float quadheight = 0;
  float lifetime = 0;   // frames
  int32_t rangestart = 0;  // active strictly after this frame
  int32_t rangeend = 0;    // and strictly before this one
  float birthcolor[3] = {0, 0, 0};
  float deathcolor[3] = {0, 0, 0};
  float starttrans = 0;
  float endtrans = 0;
  float randfactor = 0;
  uint8_t restartpending = 0;
  Particle *particles = nullptr;
  MeshPolygon quadtemplate;
  MeshVertex quadcorners[4];
  SceneObject *mesh = nullptr;
};

struct SceneCamera;

// The generator behind every random number of the effects: seed = seed * 214013 +
// 2531011 (mod 2^32), result bits 16..30. Initial seed 1.
void sfxsrand(uint32_t seed);
int sfxrand(void);

// Replaces the mesh storage with room for the particles, grows the box over the flight
// path and resets; 1 done, 0 (logged) when it cannot.
int setupparticles(SfxObject *sfx);
// Box of the whole flight path, grown by the particle spread.
void particlebbox(SfxObject *sfx);
// Empties the system and re-seeds the generator.
void resetparticles(SfxObject *sfx);
// Colours, ages, and gives birth to one particle at (x, y, z).
void updateparticles(SfxObject *sfx, float frame, float x, float y, float z);
// Writes the living particles' squares into the mesh.
void buildparticlemesh(SfxObject *sfx);
// Camera-facing placement of an effect mesh's box and vertices.
void billboardbox(SceneCamera *camera, SceneObject *mesh);
void billboardvertices(SceneCamera *camera, SceneObject *mesh);
