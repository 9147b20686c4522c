// Hostile files, failed writes and a second instance, through the real programs: every
// non-zero exit of lwdemo, tex3df and makeshow leaves a line on standard error naming the
// file and the cause, a name that is no regular file is refused at once (a run that would
// read /dev/zero or wait on a FIFO fails by the runner's time limit), and a write that
// fails leaves no part of its file behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/runner.h"
#include "app/scenes.h"
#include "platform/platform.h"
#include "tools/writers/writers.h"

namespace fs = std::filesystem;

namespace {

const int quick = 5000;  // ms: every refusal here comes in well under a second

std::string replaced(std::string text, const std::string &from, const std::string &to) {
  const size_t at = text.find(from);
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

void makelink(const std::string &target, const std::string &path) {
  fs::remove_all(path);
  ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0) << path;
}
void makefifo(const std::string &path) {
  fs::remove_all(path);
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
}
void makedir(const std::string &path) {
  fs::remove_all(path);
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0) << path;
}
// A sparse file: its size costs no disk.
void makesized(const std::string &path, int64_t size) {
  ASSERT_EQ(truncate(path.c_str(), size), 0) << path;
}
void cutshort(const std::string &path, int64_t by) {
  makesized(path, int64_t(fs::file_size(path)) - by);
}

// Files named by the test show (scenes.cpp): box.lwo holds every untextured box, tex0.lwo
// and t0.3df the first textured one.
TEST(Failures, EveryExitOfLwdemoNamesItsCause) {
  const struct {
    const char *what;
    std::function<void(const std::string &)> spoil;
    int code;
    const char *cause;
  } cases[] = {
      {"scene linked to /dev/zero", [](auto f) { makelink("/dev/zero", f + "/intro2.lws"); }, 2,
       "intro2.lws: is a device, not a file"},
      {"scene linked to /dev/urandom", [](auto f) { makelink("/dev/urandom", f + "/by.lws"); },
       2, "by.lws: is a device, not a file"},
      {"scene that is a FIFO", [](auto f) { makefifo(f + "/intro1.lws"); }, 2,
       "intro1.lws: is a FIFO (named pipe), not a file"},
      {"scene that is a folder", [](auto f) { makedir(f + "/by.lws"); }, 2,
       "by.lws: is a folder, not a file"},
      {"scene over its limit", [](auto f) { makesized(f + "/intro1.lws", 65 << 20); }, 2,
       "intro1.lws: is 68157440 bytes, more than the 67108864"},
      {"scene missing", [](auto f) { fs::remove(f + "/intro2.lws"); }, 2,
       "intro2.lws: No such file or directory"},
      {"LastFrame beyond 32 bits",
       [](auto f) {
         writefile(f + "/intro1.lws", replaced(readfile(f + "/intro1.lws"), "LastFrame 60",
                                               "LastFrame 99999999999"));
       },
       2, "intro1.lws, line 5: 99999999999 does not fit its field"},
      {"no scene at all", [](auto f) { writefile(f + "/intro1.lws", "hello\n"); }, 12,
       "intro1.lws: not a scene"},
      {"too few frames",
       [](auto f) {
         writefile(f + "/by.lws", replaced(readfile(f + "/by.lws"), "LastFrame 2", "LastFrame 1"));
       },
       5, "by.lws: frames 0 to 1"},
      {"object linked to /dev/zero", [](auto f) { makelink("/dev/zero", f + "/objects/box.lwo"); },
       2, "Objects\\Box.lwo: is a device, not a file"},
      {"object that is a folder", [](auto f) { makedir(f + "/objects/box.lwo"); }, 2,
       "Objects\\Box.lwo: is a folder, not a file"},
      {"object over its limit", [](auto f) { makesized(f + "/objects/box.lwo", 257 << 20); }, 2,
       "Objects\\Box.lwo: is 269484032 bytes"},
      {"object cut short", [](auto f) { cutshort(f + "/objects/box.lwo", 20); }, 2,
       "Objects\\Box.lwo : A chunk runs past the end of the file!"},
      {"polygon naming no surface",
       [](auto f) {
         LwoWriter box;
         lwoaddsurface(&box, "Box", 1, 2, 3);
         lwoaddbox(&box, Vec3{0, 0, 0}, Vec3{1, 1, 1}, 4);
         writelwo((f + "/objects/box.lwo").c_str(), &box);
       },
       233, "Objects\\Box.lwo: polygon 1 names surface 5, but the object has 1 surface"},
      {"texture cut short", [](auto f) { cutshort(f + "/textures/t0.3df", 10); }, 3,
       "textures\\t0.3df: is cut short"},
      {"texture linked to /dev/zero", [](auto f) { makelink("/dev/zero", f + "/textures/t1.3df"); },
       3, "textures\\t1.3df: is a device, not a file"},
      {"log that is a folder", [](auto f) { makedir(f + "/error3d.txt"); }, 3,
       "error3d.txt cannot be created: Is a directory"},
  };
  for (const auto &c : cases) {
    const std::string folder = makefolder("failure");
    ASSERT_TRUE(writeshow(folder, standardshow()));
    c.spoil(folder);
    const RunResult r = runlwdemo(folder, {}, quick);
    ASSERT_FALSE(r.timedout) << c.what;
    EXPECT_EQ(r.exitcode, c.code) << c.what << "\n" << r.err;
    EXPECT_NE(r.err.find(std::string("lwdemo: ") + c.cause), std::string::npos)
        << c.what << "\n" << r.err;
  }
  const std::string folder = makefolder("nocard");
  ASSERT_TRUE(writeshow(folder, standardshow()));
  const RunResult r = runlwdemo(folder, {{"LWDEMO_NOCARD", "1"}}, quick);
  EXPECT_EQ(r.exitcode, 3);
  EXPECT_NE(r.err.find("lwdemo: no 3D card could be opened"), std::string::npos) << r.err;
}

TEST(Failures, ALogThatLosesLinesIsSaid) {
  const std::string folder = makefolder("full");
  ASSERT_TRUE(writeshow(folder, standardshow()));
  makelink("/dev/full", folder + "/error3d.txt");
  const RunResult r = runlwdemo(folder, {}, quick);
  EXPECT_EQ(r.exitcode, 0);
  EXPECT_NE(r.err.find("lwdemo: error3d.txt: No space left on device; the log is incomplete\n"),
            std::string::npos) << r.err;
}

TEST(Failures, ASecondLwdemoInTheFolderRefusesAndChangesNothing) {
  const std::string folder = makefolder("twice");
  ASSERT_TRUE(writeshow(folder, longshow()));
  Child first = startprogram(lwdemopath(), {}, folder,
                             {{"LWDEMO_VIDEO", "headless"}, {"LWDEMO_PACING", "on"},
                              {"LWDEMO_KEY", "90:q"}, {"LWDEMO_CAPTURE", "frames"},
                              {"LWDEMO_CAPTURE_EVERY", "30"}});
  const std::string log = folder + "/error3d.txt";
  for (int waited = 0; waited < 3000 && readfile(log).find("Init ok\n") == std::string::npos;
       waited += 5)
    usleep(5000);
  const std::string before = readfile(log);
  ASSERT_NE(before, "");
  const RunResult second = runlwdemo(folder, {{"LWDEMO_CAPTURE", "frames"}}, quick);
  EXPECT_EQ(second.exitcode, 6);
  EXPECT_NE(second.err.find("lwdemo: error3d.txt is locked: another lwdemo is playing in this "
                            "folder"),
            std::string::npos) << second.err;
  EXPECT_EQ(readfile(log).rfind(before, 0), 0u);  // not truncated, nothing written
  const RunResult r = finishprogram(&first, 20000);
  EXPECT_EQ(r.exitcode, 0) << r.err;
  // The first run's frames are its own: frames 1, 31, 61 of the first scene.
  int frames = 0;
  for (const auto &e : fs::directory_iterator(folder + "/frames")) frames += e.is_regular_file();
  EXPECT_EQ(frames, 3);
}

// A program run with a file size limit of limitkb: every write past it fails as on a full
// disk (EFBIG, with the signal that would end the program ignored).
RunResult runlimited(const std::string &program, const std::vector<std::string> &args,
                     const std::string &folder, int limitkb) {
  std::vector<std::string> all = {"-c", "trap '' XFSZ; ulimit -f " + std::to_string(limitkb * 2) +
                                            "; exec \"$0\" \"$@\"",
                                  program};
  all.insert(all.end(), args.begin(), args.end());
  return runprogram("/bin/sh", all, folder, {}, 60000);
}

// Files of the folder with their sizes; a temporary file of a failed write would show.
std::vector<std::string> listing(const std::string &folder) {
  std::vector<std::string> out;
  for (const auto &e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file())
      out.push_back(fs::relative(e.path(), folder).string() + " " +
                    std::to_string(e.file_size()));
  std::sort(out.begin(), out.end());
  return out;
}

TEST(Failures, ToolsOnAFullDiskLeaveNoPartOfAFile) {
  const std::string tool = std::string(LWDEMO_BINARY_DIR) + "/";
  const std::string folder = makefolder("tools");
  std::vector<uint32_t> noise(256 * 256);
  uint32_t x = 1;
  for (uint32_t &v : noise) v = (x = x * 1664525u + 1013904223u) | 0xFF000000u;
  ASSERT_TRUE(writepng((folder + "/noise.png").c_str(), (const uint8_t *)noise.data(), 256, 256, 4));
  writefile(folder + "/old.3df", "the earlier file");
  const std::vector<std::string> before = listing(folder);
  RunResult r = runlimited(tool + "tex3df", {"noise.png", "old.3df"}, folder, 64);
  EXPECT_EQ(r.exitcode, 4) << r.err;
  EXPECT_EQ(r.err, "tex3df: cannot write old.3df: File too large\n");
  EXPECT_EQ(readfile(folder + "/old.3df"), "the earlier file");
  r = runlimited(tool + "tex3df", {"old.3df", "x.png"}, folder, 64);  // not a 3DF: refused
  EXPECT_EQ(r.exitcode, 2);
  EXPECT_EQ(listing(folder), before);

  // makeshow stops at the first file that does not fit; every file it left is whole.
  const std::string show = folder + "/show";
  r = runlimited(tool + "makeshow", {"show"}, folder, 100);
  EXPECT_EQ(r.exitcode, 1);
  EXPECT_EQ(r.err.find("makeshow: cannot write "), 0u) << r.err;
  EXPECT_NE(r.err.find(": File too large\nmakeshow: the show in show is incomplete\n"),
            std::string::npos) << r.err;
  int whole = 0;
  for (const std::string &entry : listing(show)) {
    const std::string name = entry.substr(0, entry.find(' '));
    EXPECT_TRUE(readfile(show + "/" + name) == readfile(tool + "show/" + name)) << name;
    whole++;
  }
  EXPECT_GE(whole, 1);
}

}  // namespace
