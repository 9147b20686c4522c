// Shared set-up of the object loader's tests: a log file per test, a clean texture-name
// table, and files written with the object writer into the test's temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "display/display.h"
#include "lwo/lwo.h"
#include "lwo/lworeader.h"
#include "tools/writers/writers.h"

class LwoTest : public testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    prefix = testing::TempDir() + "lwo_" + info->test_suite_name() + "_" + info->name() + "_";
    logpath = prefix + "error3d.txt";
    errorlog = std::fopen(logpath.c_str(), "w+");
    ASSERT_NE(errorlog, nullptr);
    texturenametable.texturecount = 0;
  }

  void TearDown() override {
    std::fclose(errorlog);
    errorlog = nullptr;
    texturenametable.texturecount = 0;
  }

  static std::string readfile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string log() {
    std::fflush(errorlog);
    return readfile(logpath);
  }

  std::string writebytes(const std::vector<uint8_t> &bytes, const std::string &name) {
    std::string path = prefix + name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }

  std::string write(const LwoWriter &w, const std::string &name) {
    return writebytes(lwobytes(&w), name);
  }

  // loadobject with its standard output captured into *out.
  SceneObject *load(const std::string &path, std::string *out = nullptr, double sx = 1,
                    double sy = 1, double sz = 1) {
    testing::internal::CaptureStdout();
    SceneObject *o = loadobject(path.c_str(), sx, sy, sz);
    std::string printed = testing::internal::GetCapturedStdout();
    if (out) *out = printed;
    return o;
  }

  std::string prefix;
  std::string logpath;
};

// The reader's result straight from bytes, for tests of the reader alone.
inline LwoObject *parse(const std::vector<uint8_t> &bytes, int *status = nullptr) {
  LwoObject *object = nullptr;
  LwoFailure failure;
  int s = parselwo(bytes.data(), bytes.size(), 1.0f, &object, &failure);
  if (status) *status = s;
  return object;
}
