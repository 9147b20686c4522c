#include "displayfixture.h"

namespace {

using Calls = std::vector<std::string>;
using DeviceTest = DisplayTest;

// The trace with the calls that take a record or a text reduced to their names.
Calls devicecalls() {
  Calls out;
  for (std::string c : DisplayTest::calls()) {
    for (const char *name : {"grGlideGetVersion", "grSstQueryHardware"})
      if (c.compare(0, strlen(name), name) == 0) c = name;
    out.push_back(c);
  }
  return out;
}

const Calls opening = {"grGlideGetVersion", "grGlideInit()", "grSstQueryHardware",
                       "grSstSelect(0)", "grSstWinOpen(0, 7, 0, 0, 0, 2, 2)"};

// The W buffer is set up only when asked for; the requested size and depth play no part.
TEST_F(DeviceTest, OpensWithTheWBufferOnlyWhenAsked) {
  const Calls depthsetup = {"grDepthBufferMode(2)", "grDepthBufferFunction(1)", "grDepthMask(1)",
                            "grBufferClear(0, 0, 65535)"};
  for (int zbuffer : {1, 0}) {
    cardtraceclear();
    ASSERT_EQ(zbuffer ? init3d(640, 480, 16, 1) : init3d(320, 200, 8, 0), 1);
    Calls expected = opening;
    if (zbuffer) expected.insert(expected.end(), depthsetup.begin(), depthsetup.end());
    expected.push_back("guColorCombineFunction(2)");
    EXPECT_EQ(devicecalls(), expected);
    cardtraceclear();
    shutdowndisplay();
    EXPECT_EQ(devicecalls(), Calls({"grGlideShutdown()"}));
  }
}

TEST_F(DeviceTest, FramesSwapClearAndResetTheColourCombine) {
  ASSERT_EQ(init3d(640, 480, 16, 1), 1);
  setbackdropcolor(200, 200, 255);
  cardtraceclear();
  beginframe(2, 1);
  endframe();
  beginframe(1, 0);
  endframe();
  resettexturememory();
  EXPECT_EQ(devicecalls(),
            Calls({"grBufferSwap(2)", "grBufferClear(13158655, 0, 65535)",
                   "guColorCombineFunction(2)", "grBufferSwap(1)", "guColorCombineFunction(2)",
                   "guTexMemReset()"}));
  closeglide();
  setbackdropcolor(0, 0, 0);
}

TEST_F(DeviceTest, ShutdownOfAnotherDriverOnlySaysSo) {
  testscreen.driver = 0;
  EXPECT_EQ(stdoutof(shutdowndisplay), "Not implemented\n");
  EXPECT_EQ(devicecalls(), Calls{});
}

}  // namespace
