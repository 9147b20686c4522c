// Hostile files, failed writes and a second instance, through the real programs: every
// non-zero exit of lwdemo, tex3df and makeshow leaves a line on standard error naming the
// file and the cause, a name that is no regular file is refused at once (a run that would
// read /dev/zero or wait on a FIFO fails by the runner's time limit), and a write that
// fails leaves no part of its file behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/runner.h"
#include "app/scenes.h"
#include "platform/platform.h"
#include "tools/writers/writers.h"

namespace fs = std::filesystem;

namespace {

const int quick = 5000;  // ms: every refusal here comes in well under a second

// Replaces the file at path as how says: "->target" a link, "fifo", "dir", "size:N" (sparse),
// "cut:N" bytes off its end, "edit:from=to" once in its text, "nosurface" a box whose
// polygons name surface 5 of 1, "gone".
void spoil(const std::string &path, const std::string &how) {
  const std::string arg = how.substr(how.find(':') + 1);
  const char *p = path.c_str();
  int ok = 1;
  if (how.rfind("->", 0) == 0 || how == "fifo" || how == "dir" || how == "gone") fs::remove_all(path);
  if (how.rfind("->", 0) == 0) ok = symlink(how.c_str() + 2, p) == 0;
  if (how == "fifo") ok = mkfifo(p, 0600) == 0;
  if (how == "dir") ok = mkdir(p, 0700) == 0;
  if (how.rfind("size:", 0) == 0) ok = truncate(p, std::stoll(arg)) == 0;
  if (how.rfind("cut:", 0) == 0) ok = truncate(p, (off_t)fs::file_size(path) - std::stoll(arg)) == 0;
  if (how.rfind("edit:", 0) == 0) {
    std::string text = readfile(path);
    const std::string from = arg.substr(0, arg.find('=')), to = arg.substr(arg.find('=') + 1);
    ok = text.find(from) != std::string::npos &&
         writefile(path, text.replace(text.find(from), from.size(), to));
  }
  if (how == "nosurface") {
    LwoWriter box;
    lwoaddsurface(&box, "Box", 1, 2, 3);
    lwoaddbox(&box, Vec3{0, 0, 0}, Vec3{1, 1, 1}, 4);
    ok = writelwo(p, &box);
  }
  ASSERT_TRUE(ok) << path << " " << how;
}

std::string lastline(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text.substr(text.rfind('\n') + 1);  // npos + 1 is 0: the whole text
}

// Files named by the test show (scenes.cpp): box.lwo holds every untextured box, t0.3df and
// t1.3df the textures of scene 1. Scenes and objects are loaded before the card is opened
// (so those cases run without a card); "Scene ok!" is said once the first scene loaded.
TEST(Failures, EveryExitOfLwdemoNamesItsCause) {
  const char *const noscene = "Error:Couldnt load scene!!!", *const toofew = "Too few frames!!";
  const struct {
    const char *file, *how;
    int nocard, sceneok, code;
    const char *cause, *last;
  } cases[] = {
      {"intro2.lws", "->/dev/zero", 1, 1, 2, "intro2.lws: is a device, not a file", noscene},
      {"by.lws", "->/dev/urandom", 1, 1, 2, "by.lws: is a device, not a file", noscene},
      {"intro1.lws", "fifo", 1, 0, 2, "intro1.lws: is a FIFO (named pipe), not a file", noscene},
      {"by.lws", "dir", 1, 1, 2, "by.lws: is a folder, not a file", noscene},
      {"intro1.lws", "size:68157440", 1, 0, 2, "intro1.lws: is 68157440 bytes, more than the 67108864", noscene},
      {"by.lws", "gone", 1, 1, 2, "by.lws: No such file or directory", noscene},
      {"intro1.lws", "edit:LastFrame 60=LastFrame 99999999999", 1, 0, 2,
       "intro1.lws, line 5: 99999999999 does not fit its field", noscene},
      {"intro1.lws", "edit:LWSC=hello", 1, 0, 12, "intro1.lws: not a scene", ""},
      {"intro1.lws", "edit:LastFrame 60=LastFrame 1", 1, 0, 5, "intro1.lws: frames 0 to 1", toofew},
      {"by.lws", "edit:LastFrame 2=LastFrame 1", 1, 1, 5, "by.lws: frames 0 to 1", toofew},
      {"objects/box.lwo", "->/dev/zero", 1, 0, 2, "Objects\\Box.lwo: is a device, not a file", ""},
      {"objects/box.lwo", "dir", 1, 0, 2, "Objects\\Box.lwo: is a folder, not a file", ""},
      {"objects/box.lwo", "size:269484032", 1, 0, 2, "Objects\\Box.lwo: is 269484032 bytes", ""},
      {"objects/box.lwo", "cut:20", 1, 0, 2, "Objects\\Box.lwo : A chunk runs past the end of the file!", ""},
      {"objects/box.lwo", "nosurface", 1, 0, 233,
       "Objects\\Box.lwo: polygon 1 names surface 5, but the object has 1 surface", ""},
      {"textures/t0.3df", "cut:10", 0, 1, 3, "textures\\t0.3df: is cut short", "Could not load Textures!"},
      {"textures/t1.3df", "->/dev/zero", 0, 1, 3, "textures\\t1.3df: is a device, not a file", ""},
      {"textures/t1.3df", "gone", 0, 1, 3, "textures\\t1.3df: No such file", "Could not load Textures!"},
      {"error3d.txt", "dir", 0, 0, 3, "error3d.txt cannot be created: Is a directory", ""},
      // A log that loses lines is said, and the show plays on.
      {"error3d.txt", "->/dev/full", 0, 1, 0, "error3d.txt: No space left on device; the log is incomplete", ""},
      {"", "", 1, 1, 3, "no 3D card could be opened", "Could not init3d"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.how);
    const std::string folder = makefolder("failure");
    ASSERT_TRUE(writeshow(folder, standardshow()));
    if (c.file[0]) spoil(folder + "/" + c.file, c.how);
    const RunResult r = runlwdemo(folder, {{"LWDEMO_NOCARD", c.nocard ? "1" : ""}}, quick);
    ASSERT_FALSE(r.timedout);
    EXPECT_EQ(r.exitcode, c.code) << r.err;
    EXPECT_NE(r.err.find(std::string("lwdemo: ") + c.cause), std::string::npos) << r.err;
    if (c.last[0]) {
      EXPECT_EQ(lastline(r.err), c.last);
    }
    EXPECT_EQ(r.err.find("Scene ok!\n") != std::string::npos, c.sceneok == 1) << r.err;
    if (c.code != 0 && c.file != std::string("error3d.txt")) {
      const std::string log = readfile(folder + "/error3d.txt");
      EXPECT_EQ(log.rfind("Init ok\n", 0), 0u);
      EXPECT_EQ(log.find("Total Number of frames"), std::string::npos) << log;
      if (!strncmp(c.file, "textures/", 9)) {
        EXPECT_NE(lastline(log).find(c.file + 9), std::string::npos) << log;
      }
    }
  }
}

TEST(Failures, ASecondLwdemoInTheFolderRefusesAndChangesNothing) {
  const std::string folder = makefolder("twice");
  ASSERT_TRUE(writeshow(folder, longshow()));
  Child first = startlwdemo(folder, {{"LWDEMO_PACING", "on"}, {"LWDEMO_KEY", "90:q"},
                                     {"LWDEMO_CAPTURE", "frames"}, {"LWDEMO_CAPTURE_EVERY", "30"}});
  const std::string log = folder + "/error3d.txt";
  waituntil([&] { return readfile(log).find("Init ok\n") != std::string::npos; }, 3000, 5);
  const std::string before = readfile(log);
  ASSERT_NE(before, "");
  const RunResult second = runlwdemo(folder, {{"LWDEMO_CAPTURE", "frames"}}, quick);
  EXPECT_EQ(second.exitcode, 6);
  EXPECT_NE(second.err.find("lwdemo: error3d.txt is locked: another lwdemo is playing in this folder"),
            std::string::npos) << second.err;
  EXPECT_EQ(readfile(log).rfind(before, 0), 0u);  // not truncated, nothing written
  const RunResult r = finishprogram(&first, 20000);
  EXPECT_EQ(r.exitcode, 0) << r.err;
  // The first run's frames are its own: frames 1, 31, 61 of the first scene.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder + "/frames"), {}), 3);
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

// The folder's files; a temporary file of a failed write would show.
std::vector<std::string> listing(const std::string &folder) {
  std::vector<std::string> out;
  for (const auto &e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) out.push_back(fs::relative(e.path(), folder).string());
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
  EXPECT_EQ(listing(folder), before);

  // makeshow stops at the first file that does not fit; every file it left is whole.
  const std::string show = folder + "/show";
  r = runlimited(tool + "makeshow", {"show"}, folder, 100);
  EXPECT_EQ(r.exitcode, 1);
  EXPECT_EQ(r.err.find("makeshow: cannot write "), 0u) << r.err;
  EXPECT_NE(r.err.find(": File too large\nmakeshow: the show in show is incomplete\n"),
            std::string::npos) << r.err;
  const std::vector<std::string> left = listing(show);
  EXPECT_GE(left.size(), 1u);
  for (const std::string &name : left)
    EXPECT_TRUE(readfile(show + "/" + name) == readfile(tool + "show/" + name)) << name;
}

}  // namespace
