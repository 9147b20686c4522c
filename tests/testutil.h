// Helpers the test folders share: a fresh working folder per test, whole files, the log
// and the standard streams captured, and the globals put back between tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "display/display.h"
#include "lwo/lwo.h"
#include "lws/lws.h"
#include "platform/platform.h"

// The whole file, or "" when it cannot be read.
inline std::string readfile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The names in a folder, sorted; none when it is not there.
inline std::vector<std::string> folderentries(const std::string &folder) {
  std::vector<std::string> names;
  std::error_code none;
  for (const auto &e : std::filesystem::directory_iterator(folder, none)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Writes bytes as the whole file; 1 done.
inline int writefile(const std::string &path, const void *bytes, size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char *>(bytes), std::streamsize(size));
  return out.good() ? 1 : 0;
}
inline int writefile(const std::string &path, const std::string &bytes) {
  return writefile(path, bytes.data(), bytes.size());
}
inline int writefile(const std::string &path, const std::vector<uint8_t> &bytes) {
  return writefile(path, bytes.data(), bytes.size());
}

// Everything written to the open file f, which stays positioned at its end so later
// writes keep appending.
inline std::string filetext(FILE *f) {
  if (f == nullptr) return "";
  fflush(f);
  long end = ftell(f);
  std::string text(end > 0 ? (size_t)end : 0, '\0');
  rewind(f);
  text.resize(fread(text.data(), 1, text.size(), f));
  fseek(f, 0, SEEK_END);
  return text;
}

// What run() prints to standard output / standard error.
template <typename F>
std::string stdoutof(F &&run) {
  testing::internal::CaptureStdout();
  run();
  return testing::internal::GetCapturedStdout();
}
template <typename F>
std::string stderrof(F &&run) {
  testing::internal::CaptureStderr();
  run();
  return testing::internal::GetCapturedStderr();
}

// v.x, v.y, v.z each within tol of x, y, z.
template <typename V>
void expectnear(const V &v, float x, float y, float z, float tol = 1e-6f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

// Works in folder for the life of the record, then goes back to where it was.
struct InFolder {
  explicit InFolder(const std::string &folder) : home(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~InFolder() { std::filesystem::current_path(home); }
  std::filesystem::path home;
};

// The globals that loading and scene set-up change, back at their start values.
inline void resetglobals() {
  texturenametable.texturecount = 0;
  for (float &c : ambientcolor) c = 0;
  backdropcolor = 0;
}

// lwplay's tolerant loading for the life of the record, its warning lines kept in a
// temporary file; lwdemo's strict loading again afterwards.
struct TolerantLoading {
  TolerantLoading() {
    tolerantloading = 1;
    warninglog = tmpfile();
  }
  ~TolerantLoading() {
    tolerantloading = 0;
    if (warninglog != nullptr) fclose(warninglog);
    warninglog = nullptr;
  }
};

// Each test runs in a fresh empty folder of its own, named after it: ctest starts the
// tests of a folder in parallel in one working folder, and the code under test reads and
// writes files relative to the working folder. The log goes to a temporary file, and
// the globals are reset before and after; screen and the log are put back afterwards.
class FolderTest : public testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    for (char &c : name)
      if (c == '/') c = '_';
    home = std::filesystem::current_path().string();
    folder = home + "/" + name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    ASSERT_EQ(chdir(folder.c_str()), 0);
    savedlog = errorlog;
    savedscreen = screen;
    errorlog = tmpfile();
    ASSERT_NE(errorlog, nullptr);
    resetglobals();
  }
  void TearDown() override {
    if (errorlog != nullptr) fclose(errorlog);
    errorlog = savedlog;
    screen = savedscreen;
    resetglobals();
    EXPECT_EQ(chdir(home.c_str()), 0);
  }
  static std::string logtext() { return filetext(errorlog); }
  // Empties the log; the stream is flushed first so that no buffered text survives.
  static void clearlog() {
    fflush(errorlog);
    EXPECT_EQ(ftruncate(fileno(errorlog), 0), 0);
    rewind(errorlog);
  }

  std::string home;    // the working folder the test started in
  std::string folder;  // the test's own folder, absolute
  FILE *savedlog = nullptr;
  Screen *savedscreen = nullptr;
};
