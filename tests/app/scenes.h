// Small shows of three scenes for the end-to-end tests, made with the project's writers.
#pragma once

#include <string>

struct TestScene {
  int firstframe = 0, lastframe = 60;
  float framespersecond = 30;
  int boxes = 1;     // box objects, 8 vertices and 6 quads each
  int nulls = 0;     // null objects (also boxes: a null names an object file), after the first box
  int textures = 0;  // textured boxes, each with its own image "t<i>.tga"
  int particles = 0; // 1: one particle effect, active from frame 2 to frame 40
  int cameratarget = 0;  // the camera's "TargetObject" value, 0 none
};

struct TestShow {
  TestScene scenes[3];
};

// The show of the full-run test: scene 1 with 3 boxes and 2 nulls (two of the boxes
// textured), scene 2 with a particle effect and frames 5 to 20 at 60 per second, scene
// 3 with no objects and frames 0 to 2.
TestShow standardshow();
// Scenes that last far longer than any test, for runs that a key or a move ends.
TestShow longshow();
// Writes the three scene files, their objects and textures into folder; 1 done.
int writeshow(const std::string &folder, const TestShow &show);
