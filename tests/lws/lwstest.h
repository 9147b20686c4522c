// Shared helpers of the scene tests: the log captured in a temporary file, scenes read
// from text, and small scenes made with the scene writer.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "display/display.h"
#include "lws/lwsreader.h"
#include "tools/writers/writers.h"

// Points the log at a temporary file for the test and restores it afterwards. Each test
// works in a folder of its own: the test runner starts tests in parallel in one folder,
// and the scenes name their objects relative to the working folder.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    std::string folder = std::string(test->test_suite_name()) + "." + test->name();
    mkdir(folder.c_str(), 0755);
    ASSERT_EQ(chdir(folder.c_str()), 0);
    saved = errorlog;
    errorlog = tmpfile();
    ASSERT_NE(errorlog, nullptr);
  }
  void TearDown() override {
    fclose(errorlog);
    errorlog = saved;
    EXPECT_EQ(chdir(".."), 0);
  }
  std::string logtext() {
    fflush(errorlog);
    long end = ftell(errorlog);
    std::string text((size_t)end, '\0');
    rewind(errorlog);
    size_t got = fread(text.data(), 1, text.size(), errorlog);
    text.resize(got);
    fseek(errorlog, 0, SEEK_END);
    return text;
  }
  FILE *saved = nullptr;
};

// The scene text read by the reader core, with its status; *printed gets standard output.
inline LwsStatus readtext(const std::string &text, LwsScene **scene, std::string *printed = nullptr) {
  testing::internal::CaptureStdout();
  LwsStatus status = readlwstext("test.lws", text.data(), text.size(), scene);
  std::string out = testing::internal::GetCapturedStdout();
  if (printed != nullptr) *printed = out;
  return status;
}

// One distant light and a camera, no objects.
inline LwsFileScene emptyscene() {
  LwsFileScene s;
  LwsFileLight light;
  light.motion = lwsstill(0, 10, -10, 0, 30, 0);
  s.lights.push_back(light);
  s.camera.motion = lwsstill(0, 0, -20);
  return s;
}

inline LwsFileObject fileobject(const char *name, bool isnull = false, int parent = 0) {
  LwsFileObject o;
  o.filename = name;
  o.isnull = isnull;
  o.parent = parent;
  o.motion = lwsstill(1, 2, 3);
  return o;
}

// Replaces the first occurrence of what in text; fails the test when it is missing.
inline std::string replaced(std::string text, const std::string &what, const std::string &with) {
  size_t at = text.find(what);
  EXPECT_NE(at, std::string::npos) << what;
  if (at != std::string::npos) text.replace(at, what.size(), with);
  return text;
}
