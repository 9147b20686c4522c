// Running the real lwdemo binary, and a private X server, for the end-to-end tests.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "testutil.h"

struct RunResult {
  int exitcode = -1;  // -1 when killed or not started
  bool timedout = false;
  std::string out, err;  // standard output and standard error
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// A fresh empty folder under the test's working folder.
std::string makefolder(const std::string &prefix);

// A running child process.
struct Child {
  int pid = -1;
  std::string outpath, errpath;
};

// Starts program with args in folder; the environment is ours with the changes given
// (an empty value unsets; of two of one name, the later wins). Standard output and error go to
// files beside folder.
Child startprogram(const std::string &program, const std::vector<std::string> &args,
                   const std::string &folder, const Environment &changes);
// Waits up to timeoutms for the child; kills it when it is still running.
RunResult finishprogram(Child *child, int timeoutms);
// startprogram + finishprogram.
RunResult runprogram(const std::string &program, const std::vector<std::string> &args,
                     const std::string &folder, const Environment &changes, int timeoutms);

// lwdemo headless and unpaced in folder, then the changes.
Child startlwdemo(const std::string &folder, const Environment &changes);
RunResult runlwdemo(const std::string &folder, const Environment &changes = {},
                    int timeoutms = 10000);
std::string lwdemopath();

// Asks ready() every stepms until it says yes or timeoutms have passed; its last answer.
template <typename F>
bool waituntil(F &&ready, int timeoutms, int stepms = 2) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutms);
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(stepms));
  }
  return true;
}

// 1 when a program of that name is on the PATH.
int haveprogram(const char *name);

// A private X server (Xvfb) on a display number it picks itself, with extra arguments.
struct XServer {
  int pid = -1;
  std::string display;  // ":N"
};
int startxserver(XServer *server, const std::vector<std::string> &extra = {});
void stopxserver(XServer *server);
