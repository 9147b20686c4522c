// The real lwdemo binary, headless, on small shows in fresh folders: the statistics in
// "error3d.txt", the same frames whatever the pacing, every queued frame whole however the
// run ends (key, termination, hang-up, Ctrl+C), the video, and a capture that cannot be
// written reported once with exit code 4.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/runner.h"
#include "app/scenes.h"
#include "platform/platform.h"

namespace {

std::string framename(int n) {
  char name[32];
  snprintf(name, sizeof name, "frame%06d.png", n);
  return name;
}

// The frames of folder are exactly frame000001.png to frameN.png, each a whole
// 640x480 PNG; N, or -1 when not.
int wholeframes(const std::string &folder) {
  const std::vector<std::string> names = folderentries(folder);
  for (size_t i = 0; i < names.size(); i++) {
    if (names[i] != framename((int)i + 1)) return -1;
    uint8_t *rgb = nullptr;
    int w = 0, h = 0;
    const int ok = readpng((folder + "/" + names[i]).c_str(), &rgb, &w, &h, 3);
    free(rgb);
    if (!ok || w != 640 || h != 480) return -1;
  }
  return (int)names.size();
}

// The frame counts of the log's "Total Number of frames" lines.
std::vector<int> framecounts(const std::string &log) {
  std::vector<int> counts;
  const std::string key = "Total Number of frames: ";
  for (size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1))
    counts.push_back(atoi(log.c_str() + at + key.size()));
  return counts;
}

// The log from its first statistics line on, the timings as "*".
std::string statistics(const std::string &log) {
  std::istringstream lines(log.substr(std::min(log.find("Okframes / sec "), log.size())));
  std::string out, line;
  while (std::getline(lines, line)) {
    for (const std::string timed : {"Okframes / sec ", "frames / sec ", "Time Elapsed "})
      if (line.rfind(timed, 0) == 0) line = timed + "*";
    out += line + "\n";
  }
  return out;
}

// One scene's statistics block as the log has it.
std::string block(int objects, int verts, int polys, int textures, int frames) {
  char text[256];
  snprintf(text, sizeof text,
           "Okframes / sec *\nnumobjects %d, numverts %d , numpolys %d, numtextures %d\n"
           "frames / sec *\nTime Elapsed *\nTotal Number of frames: %d\n",
           objects, verts, polys, textures, frames);
  return text;
}

std::string showfolder(const TestShow &show) {
  const std::string folder = makefolder("run");
  EXPECT_TRUE(writeshow(folder, show));
  return folder;
}

// The standard show's statistics: 5 boxes in scene 1, of them 2 nulls and 2 textured;
// frames 5 to 20 of scene 2; the shortest scene accepted, frames 0 to 2, last.
const std::string played = block(4, 40, 30, 2, 61) + block(0, 8, 6, 0, 16) + block(-1, 0, 0, 0, 3);

TEST(Run, PacedAndUnpacedRunsPlayTheShowAndCaptureTheSameBytes) {
  std::string frames[2];
  for (int paced = 0; paced < 2; paced++) {
    SCOPED_TRACE(paced);
    const std::string folder = showfolder(standardshow());
    const RunResult r = runlwdemo(folder, {{"LWDEMO_PACING", paced ? "on" : "off"},
                                           {"LWDEMO_CAPTURE", "frames"}});
    ASSERT_FALSE(r.timedout);
    EXPECT_EQ(r.exitcode, 0) << r.err;
    EXPECT_EQ(r.err, "Scene ok!\n");
    EXPECT_NE(r.out.find("Exiting winMain()\n"), std::string::npos);
    const std::string log = readfile(folder + "/error3d.txt");
    ASSERT_EQ(log.rfind("Init ok\n", 0), 0u) << log;
    // Loading notes come before the first scene's statistics.
    EXPECT_GT(log.find("Okframes"), std::string("Init ok\n").size()) << log;
    EXPECT_EQ(statistics(log), played);
    const int n = wholeframes(folder + "/frames");
    ASSERT_EQ(n, 61 + 16 + 3);
    for (int i = 1; i <= n; i++) frames[paced] += readfile(folder + "/frames/" + framename(i));
  }
  EXPECT_TRUE(frames[0] == frames[1]);
}

// A key stops the scene playing and skips the others, which still load their textures;
// a signal ends the run; either way the log is complete and every queued frame whole.
TEST(Run, AKeyOrASignalLeavesTheLogCompleteAndEveryFrameWhole) {
  const struct {
    int signal, exitcode;
  } cases[] = {{0, 0}, {SIGTERM, 128 + SIGTERM}, {SIGHUP, 128 + SIGHUP}, {SIGINT, 0}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.signal);
    const std::string folder = showfolder(c.signal ? longshow() : standardshow());
    Child child = startlwdemo(folder, {{"LWDEMO_PACING", c.signal ? "on" : "off"}, {"LWDEMO_CAPTURE", "frames"},
                                       {"LWDEMO_KEY", c.signal ? "" : "10:q"}});
    // Playing once the third frame is on disk.
    if (c.signal) waituntil([&] { return access((folder + "/frames/" + framename(3)).c_str(), F_OK) == 0; }, 5000);
    if (c.signal) kill(child.pid, c.signal);
    const RunResult r = finishprogram(&child, 5000);
    ASSERT_FALSE(r.timedout);
    EXPECT_EQ(r.exitcode, c.exitcode) << r.err;
    EXPECT_EQ(r.err.find("ended the presentation; error3d.txt and the captured frames are complete\n") !=
                  std::string::npos,
              c.exitcode != 0) << r.err;
    const std::string log = readfile(folder + "/error3d.txt");
    if (!c.signal) {
      EXPECT_EQ(statistics(log), block(4, 40, 30, 2, 10) + block(0, 8, 6, 0, 0) + block(-1, 0, 0, 0, 0));
    }
    const std::vector<int> counts = framecounts(log);
    ASSERT_EQ(counts.size(), 3u);
    EXPECT_GE(counts[0], 3);
    EXPECT_EQ(wholeframes(folder + "/frames"), counts[0] + counts[1] + counts[2]);
  }
}

TEST(Run, TerminationWhileLoadingEndsAtOnce) {
  TestShow show = longshow();
  // Enough object files that loading lasts well beyond the moment the signal is sent.
  for (TestScene &s : show.scenes) s.boxes = 3000;
  const std::string folder = showfolder(show);
  Child child = startlwdemo(folder, {{"LWDEMO_CAPTURE", "frames"}});
  waituntil([&] { return access((folder + "/error3d.txt").c_str(), F_OK) == 0; }, 5000, 1);
  kill(child.pid, SIGTERM);
  const RunResult r = finishprogram(&child, 3000);
  ASSERT_FALSE(r.timedout);
  EXPECT_EQ(r.exitcode, 128 + SIGTERM) << r.err;
  const std::string log = readfile(folder + "/error3d.txt");
  EXPECT_EQ(log.rfind("Init ok\n", 0), 0u);
  EXPECT_EQ(framecounts(log).size(), 0u) << "the signal should arrive while loading";
  EXPECT_EQ(r.err.find("Scene ok!"), std::string::npos);
  EXPECT_NE(r.err.find(": not loaded: termination (SIGTERM) ended the run while loading\n"),
            std::string::npos) << r.err;
}

// Frames or a video that cannot be written: one message naming the path and the reason,
// the show played to its end, exit code 4, nothing left where the video should be.
TEST(Run, AnOutputThatCannotBeWrittenIsOneMessageAndCode4) {
  const std::string folder = showfolder(standardshow());
  ASSERT_TRUE(writefile(folder + "/file", std::string("a file")));
  ASSERT_EQ(mkdir((folder + "/folder.mp4").c_str(), 0755), 0);
  const struct {
    const char *capture, *message;
  } cases[] = {{"file", "file: Not a directory"},
               {"file/show.mp4", "file: Not a directory"},
               {"folder.mp4", "folder.mp4: Is a directory"}};
  for (const auto &c : cases) {
    const RunResult r = runlwdemo(folder, {{"LWDEMO_CAPTURE", c.capture}}, 30000);
    EXPECT_EQ(r.exitcode, 4) << c.capture;
    EXPECT_EQ(r.err, std::string("Scene ok!\nlwdemo: ") + c.message + "; capture stopped, the show plays on\n");
    EXPECT_EQ(framecounts(readfile(folder + "/error3d.txt")), (std::vector<int>{61, 16, 3}));
  }
  EXPECT_EQ(folderentries(folder + "/folder.mp4"), std::vector<std::string>{});
}

// ffprobe's count of decoded frames and the stream's duration in seconds, "" when the
// file cannot be read.
std::string probe(const std::string &path) {
  const RunResult r = runprogram("/usr/bin/ffprobe",
                                 {"-v", "error", "-count_frames", "-select_streams", "v:0",
                                  "-show_entries", "stream=codec_name,r_frame_rate,nb_read_frames,duration",
                                  "-of", "default=nw=1", path},
                                 ".", {}, 20000);
  return r.exitcode == 0 ? r.out : "";
}

class Video : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(haveprogram("ffprobe")) << "ffprobe is not installed: Debian package ffmpeg"; }
};

TEST_F(Video, EachShownFrameIsHeldForItsRetraces) {
  const std::string folder = showfolder(standardshow());
  const RunResult r = runlwdemo(folder, {{"LWDEMO_CAPTURE", "video/show.mp4"}}, 30000);
  EXPECT_EQ(r.exitcode, 0) << r.err;
  EXPECT_EQ(r.err, "Scene ok!\n");
  // 61 frames at two retraces, 16 at one, 3 at two: 144 retraces of 1001/60000 s.
  EXPECT_EQ(probe(folder + "/video/show.mp4"),
            "codec_name=h264\nr_frame_rate=60000/1001\nduration=2.402400\nnb_read_frames=144\n");
  EXPECT_EQ(folderentries(folder + "/video"), std::vector<std::string>{"show.mp4"});
}

TEST_F(Video, AKeyOrTerminationLeavesAPlayableFile) {
  const std::string folder = showfolder(longshow());
  RunResult r = runlwdemo(folder, {{"LWDEMO_CAPTURE", "key.mkv"}, {"LWDEMO_KEY", "10:q"}}, 30000);
  EXPECT_EQ(r.exitcode, 0) << r.err;
  const std::string keyed = probe(folder + "/key.mkv");
  EXPECT_NE(keyed.find("nb_read_frames=20\n"), std::string::npos) << keyed << r.err;

  Child child = startlwdemo(folder, {{"LWDEMO_CAPTURE", "term.mp4"}});
  // Playing once the card has opened the video under its temporary name.
  const std::string temp = folder + "/.term.mp4.lwdemo-" + std::to_string(child.pid) + ".tmp";
  waituntil([&] { return access(temp.c_str(), F_OK) == 0; }, 5000);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  kill(child.pid, SIGTERM);
  r = finishprogram(&child, 20000);
  EXPECT_EQ(r.exitcode, 128 + SIGTERM) << r.err;
  const std::vector<int> counts = framecounts(readfile(folder + "/error3d.txt"));
  ASSERT_EQ(counts.size(), 3u);
  const std::string termed = probe(folder + "/term.mp4");
  EXPECT_NE(termed.find("nb_read_frames=" + std::to_string(2 * counts[0]) + "\n"), std::string::npos) << termed;
}

}  // namespace
