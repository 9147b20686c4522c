#include "app/scenes.h"

#include <sys/stat.h>

#include <cstdint>
#include <vector>

#include "platform/glide/glide.h"
#include "tools/writers/writers.h"

namespace {

const char *const scenefiles[3] = {"intro1.lws", "intro2.lws", "by.lws"};

// A box lit by one distant light, optionally with a planar image map on its surface.
int writebox(const std::string &path, const std::string &image) {
  LwoWriter box;
  const int surface = lwoaddsurface(&box, "Box", 180, 120, 60);
  if (!image.empty())
    lwosetimagemap(&box.surfaces[surface], "Planar Image Map", image.c_str(), lwoaxisz,
                   Vec3{0, 0, 0}, Vec3{1, 1, 1});
  lwoaddbox(&box, Vec3{0, 0, 0}, Vec3{1, 1, 1}, surface);
  return writelwo(path.c_str(), &box);
}

int writetexture(const std::string &path, int seed) {
  std::vector<uint32_t> argb(16 * 16);
  for (int i = 0; i < 16 * 16; i++)
    argb[i] = 0xFF000000u | (uint32_t)((i * 7 + seed * 40) & 0xFF) << 16 |
              (uint32_t)((i * 3) & 0xFF) << 8 | (uint32_t)(seed * 90 & 0xFF);
  return write3dfimage(path.c_str(), argb.data(), 16, 16, GR_TEXFMT_RGB_565);
}

LwsFileScene scenefile(const TestScene &t, int scenenumber, int *texturenumber) {
  LwsFileScene s;
  s.firstframe = t.firstframe;
  s.lastframe = t.lastframe;
  s.framespersecond = t.framespersecond;
  for (int i = 0; i < t.boxes; i++) {
    const std::string name = i < t.textures ? "Tex" + std::to_string((*texturenumber)++) : "Box";
    // Boxes moving across the view, so every frame evaluates a different motion value.
    const float x = -3.0f + 2.5f * (float)i, z = 4.0f + (float)scenenumber;
    s.objects.push_back({.filename = "Objects\\" + name + ".lwo",
                         .motion = {{lwskey(0, x, 0, z), lwskey(60, x, 1, z, 90)}}});
    // A null names an object file too.
    for (int n = 0; i == 0 && n < t.nulls; n++)
      s.objects.push_back({.filename = "Objects\\Box.lwo", .isnull = true, .motion = lwsstill(0, 0, 5)});
  }
  if (t.particles)
    s.sfxobjects.push_back({.filename = "Objects\\Box.lwo", .motion = {{lwskey(0, 0, 0, 5), lwskey(30, 2, 0, 5)}},
                            .rangestart = 2, .rangeend = 40, .quadwidth = 0.3f, .quadheight = 0.3f,
                            .numparticles = 12, .lifetime = 8, .randfactor = 0.5f});
  s.lights.push_back({.motion = lwsstill(0, 5, -5, 0, 45, 0), .envelope = {}});
  s.camera.motion = lwsstill(0, 0, -2);
  s.camera.target = t.cameratarget;
  return s;
}

}  // namespace

TestShow standardshow() {
  return {{{.boxes = 3, .nulls = 2, .textures = 2},
           {.firstframe = 5, .lastframe = 20, .framespersecond = 60, .particles = 1, .cameratarget = 1},
           {.lastframe = 2, .boxes = 0}}};
}

TestShow longshow() { return {{{.lastframe = 1000000}, {.lastframe = 1000000}, {.lastframe = 1000000}}}; }

int writeshow(const std::string &folder, const TestShow &show) {
  mkdir((folder + "/objects").c_str(), 0755);
  mkdir((folder + "/textures").c_str(), 0755);
  if (!writebox(folder + "/objects/box.lwo", "")) return 0;
  int texturenumber = 0;
  for (int i = 0; i < 3; i++) {
    const int first = texturenumber;
    const LwsFileScene s = scenefile(show.scenes[i], i, &texturenumber);
    if (!writelws((folder + "/" + scenefiles[i]).c_str(), s)) return 0;
    for (int t = first; t < texturenumber; t++) {
      const std::string n = std::to_string(t);
      if (!writebox(folder + "/objects/tex" + n + ".lwo", "Images\\t" + n + ".tga") ||
          !writetexture(folder + "/textures/t" + n + ".3df", t))
        return 0;
    }
  }
  return 1;
}
