// The real lwdemo binary, headless and unpaced, on small shows in fresh folders: the
// statistics in "error3d.txt", every failure's message and exit code, the scripted key.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <string>
#include <vector>

#include "app/runner.h"
#include "app/scenes.h"

namespace {

struct Statistics {
  int numobjects, numverts, numpolys, numtextures, frames;
};

// Every block of the four statistics lines in the log, in order; a block whose lines
// do not have exactly the expected form ends the list.
std::vector<Statistics> statistics(const std::string &log) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < log.size()) {
    const size_t end = log.find('\n', at);
    if (end == std::string::npos) break;  // an unfinished line is no statistics line
    lines.push_back(log.substr(at, end - at));
    at = end + 1;
  }
  auto number = [](const std::string &line, const char *prefix) {
    return line.rfind(prefix, 0) == 0 && line.size() > strlen(prefix);
  };
  std::vector<Statistics> out;
  for (size_t i = 0; i + 4 < lines.size(); i++) {
    if (!number(lines[i], "Okframes / sec ")) continue;
    Statistics s{};
    char tail = 0;
    if (sscanf(lines[i + 1].c_str(), "numobjects %d, numverts %d , numpolys %d, numtextures %d%c",
               &s.numobjects, &s.numverts, &s.numpolys, &s.numtextures, &tail) != 4 ||
        !number(lines[i + 2], "frames / sec ") || !number(lines[i + 3], "Time Elapsed ") ||
        sscanf(lines[i + 4].c_str(), "Total Number of frames: %d%c", &s.frames, &tail) != 1)
      break;
    out.push_back(s);
  }
  return out;
}

int count(const std::string &text, const std::string &what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

std::string lastline(const std::string &text) {
  std::string t = text;
  while (!t.empty() && t.back() == '\n') t.pop_back();
  const size_t at = t.rfind('\n');
  return at == std::string::npos ? t : t.substr(at + 1);
}

std::string showfolder(const TestShow &show) {
  const std::string folder = makefolder("show");
  EXPECT_NE(folder, "");
  EXPECT_TRUE(writeshow(folder, show));
  return folder;
}

TEST(Run, PlaysTheThreeScenesAndWritesTheirStatistics) {
  const std::string folder = showfolder(standardshow());
  const RunResult r = runlwdemo(folder);
  ASSERT_FALSE(r.timedout);
  EXPECT_EQ(r.exitcode, 0) << r.err;
  EXPECT_EQ(count(r.err, "Scene ok!\n"), 1);
  EXPECT_NE(r.out.find("Exiting winMain()\n"), std::string::npos);

  const std::string log = readfile(folder + "/error3d.txt");
  ASSERT_EQ(log.rfind("Init ok\n", 0), 0u) << log;
  // Loading notes come before the first scene's statistics.
  EXPECT_GT(log.find("Okframes / sec"), std::string("Init ok\n").size()) << log;
  const std::vector<Statistics> s = statistics(log);
  ASSERT_EQ(s.size(), 3u) << log;
  // 5 boxes, of them 2 nulls and 2 textured.
  EXPECT_EQ(s[0].numobjects, 4);
  EXPECT_EQ(s[0].numverts, 40);
  EXPECT_EQ(s[0].numpolys, 30);
  EXPECT_EQ(s[0].numtextures, 2);
  EXPECT_EQ(s[0].frames, 61);
  EXPECT_EQ(s[1].numobjects, 0);
  EXPECT_EQ(s[1].frames, 16);  // frames 5 to 20
  EXPECT_EQ(s[2].numobjects, -1);
  EXPECT_EQ(s[2].numverts, 0);
  EXPECT_EQ(s[2].frames, 3);  // the shortest scene accepted: frames 0 to 2
  const std::string end = "\nTotal Number of frames: 3\n";
  EXPECT_EQ(log.substr(log.size() - end.size()), end);
}

TEST(Run, AScriptedKeyStopsTheFirstSceneAndSkipsTheOthers) {
  const std::string folder = showfolder(standardshow());
  const RunResult r = runlwdemo(folder, {{"LWDEMO_KEY", "10:q"}});
  ASSERT_FALSE(r.timedout);
  EXPECT_EQ(r.exitcode, 0) << r.err;
  const std::vector<Statistics> s = statistics(readfile(folder + "/error3d.txt"));
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].frames, 10);
  EXPECT_EQ(s[1].frames, 0);
  EXPECT_EQ(s[2].frames, 0);
  // The later scenes still load their textures: their counts are their own.
  EXPECT_EQ(s[0].numtextures, 2);
  EXPECT_EQ(s[1].numtextures, 0);
}

TEST(Run, AMissingSceneEndsBeforeTheCardOpens) {
  TestShow show = standardshow();
  show.writeby = false;
  const std::string folder = showfolder(show);
  // Without a card: had the card been opened first, this would end with its message.
  const RunResult r = runlwdemo(folder, {{"LWDEMO_NOCARD", "1"}});
  ASSERT_FALSE(r.timedout);
  EXPECT_EQ(r.exitcode, 2);
  EXPECT_EQ(count(r.err, "Scene ok!\n"), 1);
  EXPECT_EQ(count(r.err, "Error:Couldnt load scene!!!\n"), 1);
  EXPECT_EQ(r.err.find("Could not init3d"), std::string::npos);
  EXPECT_LT(r.err.find("Scene ok!"), r.err.find("Error:Couldnt load scene!!!"));
  EXPECT_EQ(statistics(readfile(folder + "/error3d.txt")).size(), 0u);
}

TEST(Run, ScenesOfFewerThanTwoFramesAreRefused) {
  TestShow show = standardshow();
  show.scenes[1].firstframe = 7;
  show.scenes[1].lastframe = 8;
  RunResult r = runlwdemo(showfolder(show), {{"LWDEMO_NOCARD", "1"}});
  EXPECT_EQ(r.exitcode, 5);
  EXPECT_EQ(count(r.err, "Scene ok!\n"), 1);
  EXPECT_NE(r.err.find("Too few frames!!\n"), std::string::npos);
  EXPECT_EQ(r.err.find("Could not init3d"), std::string::npos);

  // The first scene fails before its "Scene ok!".
  show = standardshow();
  show.scenes[0].lastframe = 1;
  r = runlwdemo(showfolder(show));
  EXPECT_EQ(r.exitcode, 5);
  EXPECT_EQ(r.err.find("Scene ok!"), std::string::npos);
  EXPECT_EQ(lastline(r.err), "Too few frames!!");
}

TEST(Run, NoCardEndsWithCode3AfterTheLogIsStarted) {
  const std::string folder = showfolder(standardshow());
  const RunResult r = runlwdemo(folder, {{"LWDEMO_NOCARD", "1"}});
  EXPECT_EQ(r.exitcode, 3);
  EXPECT_NE(r.err.find("Could not init3d\n"), std::string::npos);
  EXPECT_EQ(readfile(folder + "/error3d.txt").rfind("Init ok\n", 0), 0u);
}

TEST(Run, AMissingTextureFileEndsWithCode3AndNamesTheFile) {
  TestShow show = standardshow();
  show.missingtexture = 1;
  const std::string folder = showfolder(show);
  const RunResult r = runlwdemo(folder);
  EXPECT_EQ(r.exitcode, 3);
  EXPECT_NE(r.err.find("Could not load Textures!\n"), std::string::npos);
  const std::string log = readfile(folder + "/error3d.txt");
  EXPECT_NE(lastline(log).find("t1.3df"), std::string::npos) << log;
  EXPECT_EQ(statistics(log).size(), 0u);
}

TEST(Run, AnUnwritableLogEndsWithCode3) {
  const std::string folder = showfolder(standardshow());
  ASSERT_EQ(mkdir((folder + "/error3d.txt").c_str(), 0755), 0);
  const RunResult r = runlwdemo(folder);
  EXPECT_EQ(r.exitcode, 3);
}

}  // namespace
