// Shared helpers of the scene tests: scenes read from text, and small scenes made with
// the scene writer.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "display/display.h"
#include "lws/lwsreader.h"
#include "testutil.h"
#include "tools/writers/writers.h"

// The scene text read by the reader core, with its status; *printed gets standard output.
inline LwsStatus readtext(const std::string &text, LwsScene **scene, std::string *printed = nullptr) {
  LwsStatus status = lwsok;
  std::string out = stdoutof([&] { status = readlwstext("test.lws", text.data(), text.size(), scene); });
  if (printed != nullptr) *printed = out;
  return status;
}

// One distant light and a camera, no objects.
inline LwsFileScene emptyscene() {
  LwsFileScene s;
  s.lights.resize(1);
  s.lights[0].motion = lwsstill(0, 10, -10, 0, 30, 0);
  s.camera.motion = lwsstill(0, 0, -20);
  return s;
}

inline LwsFileObject fileobject(const char *name, bool isnull = false, int parent = 0) {
  return {.filename = name, .isnull = isnull, .motion = lwsstill(1, 2, 3), .parent = parent};
}

// Replaces the first occurrence of what in text; fails the test when it is missing.
inline std::string replaced(std::string text, const std::string &what, const std::string &with) {
  size_t at = text.find(what);
  EXPECT_NE(at, std::string::npos) << what;
  if (at != std::string::npos) text.replace(at, what.size(), with);
  return text;
}
