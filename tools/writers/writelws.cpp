// LightWave scene files, version 1, as LightWave 5 lays them out.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/writers/writers.h"

namespace {

// LightWave writes key values with up to seven significant digits ("87.0955", "-0",
// "0.25"); more digits are used only where seven would not give the same float back.
std::string number(float v) {
  char text[64];
  for (int digits = 7; digits <= 9; digits++) {
    snprintf(text, sizeof(text), "%.*g", digits, (double)v);
    if (strtof(text, nullptr) == v) break;
  }
  return text;
}

struct Out {
  std::string text;
  const char *eol = "\n";
  void line(const std::string &s) {
    text += s;
    text += eol;
  }
  void f(const char *format, ...) __attribute__((format(printf, 2, 3)));
};

void Out::f(const char *format, ...) {
  char buffer[2048];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  line(buffer);
}

void motion(Out &out, const char *keyword, const LwsFileMotion &m) {
  out.f("%s (unnamed)", keyword);
  out.line("  9");
  std::vector<LwsFileKey> keys = m.keys;
  if (keys.empty()) keys.push_back(LwsFileKey{});
  out.f("  %d", (int)keys.size());
  for (const LwsFileKey &k : keys) {
    std::string values = "  ";
    for (int c = 0; c < 9; c++) {
      if (c > 0) values.push_back(' ');
      values.append(number(k.values[c]));
    }
    out.line(values);
    out.f("  %d %d %s %s %s", k.frame, k.linear, number(k.tension).c_str(),
          number(k.continuity).c_str(), number(k.bias).c_str());
  }
  out.f("EndBehavior %d", m.endbehavior);
}

}  // namespace

LwsFileKey lwskey(int frame, float x, float y, float z, float heading, float pitch, float bank) {
  LwsFileKey key;
  key.frame = frame;
  key.values[0] = x;
  key.values[1] = y;
  key.values[2] = z;
  key.values[3] = heading;
  key.values[4] = pitch;
  key.values[5] = bank;
  return key;
}

LwsFileMotion lwsstill(float x, float y, float z, float heading, float pitch, float bank) {
  LwsFileMotion m;
  m.keys.push_back(lwskey(0, x, y, z, heading, pitch, bank));
  return m;
}

std::string lwstext(const LwsFileScene &scene) {
  Out out;
  if (scene.crlf) out.eol = "\r\n";
  out.line("LWSC");
  out.line("1");
  out.line("");
  out.f("FirstFrame %d", scene.firstframe);
  out.f("LastFrame %d", scene.lastframe);
  out.f("FrameStep %d", scene.framestep);
  if (!scene.noframerate) out.f("FramesPerSecond %f", (double)scene.framespersecond);
  out.line("");
  for (const LwsFileObject &o : scene.objects) {
    out.f("%s %s", o.isnull ? "AddNullObject" : "LoadObject", o.filename.c_str());
    out.line("ShowObject 8 7");
    motion(out, "ObjectMotion", o.motion);
    if (o.parent != 0) out.f("ParentObject %d", o.parent);
    if (o.shadowoptions) out.line("ShadowOptions 7");
    out.line("");
  }
  if (!scene.extra.empty()) out.text += scene.extra;
  for (const LwsFileSfx &s : scene.sfxobjects) {
    out.f("LoadSfxObject %s", s.filename.c_str());
    motion(out, "SfxObjectMotion", s.motion);
    out.f("SfxType %d", s.sfxtype);
    out.f("SfxRangeStart %d", s.rangestart);
    out.f("SfxRangeEnd %d", s.rangeend);
    out.f("SfxQuadWidth %f", (double)s.quadwidth);
    out.f("SfxQuadHeight %f", (double)s.quadheight);
    out.f("SfxNumParticles %d", s.numparticles);
    out.f("SfxLifeTime %f", (double)s.lifetime);
    out.f("SfxBirthColor %d %d %d", s.birthcolor[0], s.birthcolor[1], s.birthcolor[2]);
    out.f("SfxDeathColor %d %d %d", s.deathcolor[0], s.deathcolor[1], s.deathcolor[2]);
    out.f("SfxStartTrans %f", (double)s.starttrans);
    out.f("SfxEndTrans %f", (double)s.endtrans);
    out.f("SfxRandFactor %f", (double)s.randfactor);
    out.line("");
  }
  out.f("AmbientColor %d %d %d", scene.ambient[0], scene.ambient[1], scene.ambient[2]);
  out.f("AmbIntensity %f", (double)scene.ambientintensity);
  out.line("");
  for (const LwsFileLight &l : scene.lights) {
    out.line("AddLight");
    out.f("LightName %s", l.name.c_str());
    out.line("ShowLight 1 7");
    motion(out, "LightMotion", l.motion);
    out.f("LightColor %d %d %d", l.color[0], l.color[1], l.color[2]);
    if (l.envelope.empty()) {
      out.f("LgtIntensity %f", (double)l.intensity);
    } else {
      out.line("LgtIntensity (envelope)");
      out.line("  1");
      out.f("  %d", (int)l.envelope.size());
      for (const LwsFileKey &k : l.envelope) {
        out.f("  %s", number(k.values[0]).c_str());
        out.f("  %d %d %s %s %s", k.frame, k.linear, number(k.tension).c_str(),
              number(k.continuity).c_str(), number(k.bias).c_str());
      }
      out.line("EndBehavior 1");
    }
    out.f("LightType %d", l.type);
    if (l.falloff != 0) {
      out.f("LightFalloff %d", l.falloff);
      out.f("LightRange %f", (double)l.falloffrange);
    }
    if (l.lensflare != 0) {
      out.f("LensFlare %d", l.lensflare);
      out.line("FlareIntensity 0.500000");
    }
    out.line("ShadowType 1");
    out.line("");
  }
  out.line("ShowCamera 1 7");
  motion(out, "CameraMotion", scene.camera.motion);
  if (scene.camera.target != 0) out.f("TargetObject %d", scene.camera.target);
  out.f("ZoomFactor %f", (double)scene.camera.zoom);
  out.line("Resolution 1");
  out.line("PixelAspectRatio -1");
  out.line("SegmentMemory 2200000");
  out.line("Antialiasing 0");
  out.line("FilmSize 2");
  out.line("MotionBlur 0");
  out.line("");
  out.line("SolidBackdrop 1");
  out.line("BackdropColor 0 0 0");
  out.line("ZenithColor 0 40 80");
  out.line("SkyColor 120 180 240");
  out.line("GroundColor 50 40 30");
  out.line("NadirColor 100 80 60");
  out.line("FogType 0");
  out.line("");
  out.line("ViewMode 5");
  out.line("ViewZoomFactor 4.000000");
  out.line("GridNumber 40");
  out.line("GridSize 50.000000");
  return out.text;
}

int writelws(const char *path, const LwsFileScene &scene) {
  std::string text = lwstext(scene);
  return writebytes(path, text.data(), text.size());
}
