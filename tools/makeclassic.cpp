// makeclassic: writes a small content folder as LightWave 3.x left them, for trying
// lwplay: Scenes/orbit.lws beside Objects/, the scene naming its objects by Amiga volume
// without extension, no FramesPerSecond line, a light whose intensity is an envelope, a
// plug-in block, a gear whose faces have 24 corners, and a moon whose file is missing.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/writers/writers.h"

namespace {

// A flat gear of teeth teeth in the plane z = 0, one concave face of 4 * teeth corners
// on each side, and the rim between them as quads.
LwoWriter gear(int teeth) {
  LwoWriter w;
  int s = lwoaddsurface(&w, "Brass", 220, 170, 60);
  int n = 4 * teeth;
  for (int side = 0; side < 2; side++)
    for (int i = 0; i < n; i++) {
      double a = 2 * M_PI * i / n;
      double r = (i % 4 == 1 || i % 4 == 2) ? 1.0 : 0.75;
      lwoaddpoint(&w, (float)(r * cos(a)), (float)(r * sin(a)), side ? 0.2f : -0.2f);
    }
  LwoWriterPolygon front, back;
  for (int i = 0; i < n; i++) {
    front.corners.push_back((uint16_t)(n - 1 - i));
    back.corners.push_back((uint16_t)(n + i));
  }
  front.surface = back.surface = s;
  w.polygons = {front, back};
  for (int i = 0; i < n; i++) {
    int j = (i + 1) % n;
    lwoaddquad(&w, i, j, n + j, n + i, s);
  }
  return w;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2 || argv[1][0] == 0 || argv[1][0] == '-') {
    fputs("usage: makeclassic <folder>\n"
          "Writes <folder>/Scenes/orbit.lws and <folder>/Objects/ as a LightWave 3.x content\n"
          "folder (Amiga paths, no frame rate, an envelope, one object missing) for lwplay.\n",
          argc == 2 && strcmp(argv[1], "--help") == 0 ? stdout : stderr);
    return argc == 2 && strcmp(argv[1], "--help") == 0 ? 0 : 2;
  }
  std::string folder = argv[1];
  mkdir(folder.c_str(), 0777);
  mkdir((folder + "/Scenes").c_str(), 0777);
  mkdir((folder + "/Objects").c_str(), 0777);

  LwoWriter planet;
  lwoaddsphere(&planet, Vec3{0, 0, 0}, 1.5f, 24, 12, lwoaddsurface(&planet, "Ocean", 60, 110, 220));
  LwoWriter cog = gear(6);

  LwsFileScene scene;
  scene.noframerate = true;
  scene.firstframe = 1;
  scene.lastframe = 120;
  LwsFileObject p;
  p.filename = "HD1:Objects/Planet";
  p.motion.keys = {lwskey(1, 0, 0, 0, 0), lwskey(120, 0, 0, 0, 360)};
  p.motion.keys[0].linear = p.motion.keys[1].linear = 1;
  LwsFileObject moon;
  moon.filename = "HD1:Objects/Moon";  // never written: played as a null that keeps its child
  moon.parent = 1;
  moon.motion = lwsstill(3.5f, 0, 0);
  LwsFileObject g;
  g.filename = "Work:Objects/Gear";
  g.parent = 2;
  g.motion.keys = {lwskey(1, 0, 0, 0, 0, 0, 0), lwskey(120, 0, 0, 0, 0, 0, 720)};
  scene.objects = {p, moon, g};
  scene.extra = "Plugin DisplacementHandler 1 Ripple\n  0.5 2\nEndPlugin\n";
  LwsFileLight sun;
  sun.name = "Sun Light";
  sun.motion = lwsstill(0, 0, 0, 30, 30, 0);
  sun.envelope = {lwskey(1, 0.3f, 0, 0), lwskey(60, 1.2f, 0, 0), lwskey(120, 0.3f, 0, 0)};
  scene.lights = {sun};
  scene.camera.motion = lwsstill(0, 3, -12, 0, 14, 0);
  scene.camera.zoom = 2.4f;

  int ok = writelwo((folder + "/Objects/Planet.lwo").c_str(), &planet) &&
           writelwo((folder + "/Objects/gear.LWO").c_str(), &cog) &&
           writelws((folder + "/Scenes/orbit.lws").c_str(), scene);
  if (!ok) {
    fprintf(stderr, "makeclassic: cannot write the folder %s\n", folder.c_str());
    return 1;
  }
  printf("%s/Scenes/orbit.lws\n", folder.c_str());
  return 0;
}
