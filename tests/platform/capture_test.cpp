// The card's frame output: every Nth frame as scanned out, frames written whole or not at
// all when a write fails, the one message and the lost-output flag, screenshots that never
// replace a file.
#include <errno.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cardtest.h"
#include "platform/platform.h"
#include "testutil.h"

namespace {

// write(2) that takes `room` bytes in all and then fails as a full disk does.
size_t room = 0;
ssize_t fullwrite(int fd, const void *bytes, size_t count) {
  if (room == 0) {
    errno = ENOSPC;
    return -1;
  }
  if (count > room) count = room;
  room -= count;
  return write(fd, bytes, count);
}

class Capture : public CardTest {
 protected:
  void SetUp() override {
    CardTest::SetUp();
    grGlideShutdown();
    captureresetlost();
    // Each test its own folder: ctest runs them side by side in one working folder.
    folder = std::string("capture_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(folder);
  }
  void TearDown() override {
    capturewrite = write;
    unsetenv("LWDEMO_CAPTURE");
    CardTest::TearDown();
    captureresetlost();
  }
  // Opens the card capturing into path and shows frames frames; the card's messages.
  std::string play(const std::string &path, int frames) {
    setenv("LWDEMO_CAPTURE", path.c_str(), 1);
    return stderrof([&] {
      opencard();
      for (int i = 1; i <= frames; i++) {
        grBufferClear(0x030507u * (uint32_t)i, 0, 0);
        // Colour in every direction, so that a frame takes more than one staging buffer.
        draw({vtx(0, 0, 255, 0, 0), vtx(639, 0, 0, 255, 30), vtx(0, 479, 0, (float)i, 255),
              vtx(639, 479, 200, 60, 0)});
        grBufferSwap(1);
      }
      if (cardfrontbuffer() != nullptr) cardscanout(cardfrontbuffer(), shown.data());
      grGlideShutdown();
    });
  }
  std::string folder;
  std::vector<uint8_t> shown = std::vector<uint8_t>((size_t)cardwidth * cardheight * 3);  // the last frame
};

TEST_F(Capture, EveryNthShownFrameIsWrittenAsScannedOut) {
  setenv("LWDEMO_CAPTURE_EVERY", "2", 1);
  EXPECT_EQ(play(folder, 5), "");
  unsetenv("LWDEMO_CAPTURE_EVERY");
  EXPECT_EQ(folderentries(folder), (std::vector<std::string>{"frame000001.png", "frame000003.png", "frame000005.png"}));
  EXPECT_EQ(pngrgb(folder + "/frame000005.png", cardwidth, cardheight), shown);
}

TEST_F(Capture, AFailedWriteLeavesNoPartialFileAndStopsWithOneMessage) {
  // Each case: bytes the disk takes before it is full.
  for (size_t bytes : {(size_t)0, (size_t)100, (size_t)70000}) {
    std::filesystem::remove_all(folder);
    captureresetlost();
    room = bytes;
    capturewrite = fullwrite;
    const std::string err = play(folder, 4);
    EXPECT_EQ(err, "test_platform: " + folder +
                       "/frame000001.png: No space left on device; capture stopped, the show plays on\n")
        << bytes;
    EXPECT_EQ(folderentries(folder), std::vector<std::string>{}) << bytes;
    EXPECT_EQ(cardoutputlost(), 1);
  }
  // Room for the first frame only: it is whole, the second is absent.
  std::filesystem::remove_all(folder);
  capturewrite = write;
  play(folder, 1);
  room = (size_t)std::filesystem::file_size(folder + "/frame000001.png");
  ASSERT_GT(room, 70000u) << "the failures above should include one inside the image data";
  std::filesystem::remove_all(folder);
  capturewrite = fullwrite;
  EXPECT_NE(play(folder, 3).find("frame000002.png: No space"), std::string::npos);
  EXPECT_EQ(folderentries(folder), std::vector<std::string>{"frame000001.png"});
  EXPECT_EQ(pngrgb(folder + "/frame000001.png", cardwidth, cardheight).size(), (size_t)cardwidth * cardheight * 3);
}

TEST_F(Capture, ScreenshotsGetTheSceneNameAndNeverReplaceAFile) {
  std::filesystem::create_directories(folder);
  InFolder in(folder);
  std::vector<uint8_t> rgb((size_t)cardwidth * cardheight * 3);
  for (size_t i = 0; i < rgb.size(); i++) rgb[i] = (uint8_t)(i * 7);
  cardsetname("scenes\\Intro1.lws");
  char name[256];
  ASSERT_EQ(capturescreenshot(rgb.data(), cardwidth, cardheight, 42, name, sizeof name), 1);
  EXPECT_STREQ(name, "lwdemo-Intro1-000042.png");
  ASSERT_EQ(capturescreenshot(rgb.data(), cardwidth, cardheight, 42, name, sizeof name), 1);
  EXPECT_STREQ(name, "lwdemo-Intro1-000042-2.png");
  EXPECT_EQ(pngrgb(name, cardwidth, cardheight), rgb);
  room = 500;
  capturewrite = fullwrite;
  EXPECT_EQ(capturescreenshot(rgb.data(), cardwidth, cardheight, 43, name, sizeof name), 0);
  EXPECT_EQ(folderentries("."), (std::vector<std::string>{"lwdemo-Intro1-000042-2.png", "lwdemo-Intro1-000042.png"}));
  EXPECT_EQ(cardoutputlost(), 1);
}

}  // namespace
