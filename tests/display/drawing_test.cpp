#include "displayfixture.h"

namespace {

const float white[3] = {255, 255, 255};

TEST(Snap, RoundsToTheNearestSixteenthInSinglePrecision) {
  EXPECT_EQ(snapsixteenth(100.03f), 100.0f);
  EXPECT_EQ(snapsixteenth(100.04f), 100.0625f);
  EXPECT_EQ(snapsixteenth(-0.02f), 0.0f);
  EXPECT_EQ(snapsixteenth(-0.04f), -0.0625f);
  EXPECT_EQ(snapsixteenth(639.97f), 640.0f);
  // Half way rounds to even sixteenths, as single-precision addition does.
  EXPECT_EQ(snapsixteenth(0.03125f), 0.0f);
  EXPECT_EQ(snapsixteenth(0.09375f), 0.125f);
}

using DrawingTest = DisplayTest;

TEST_F(DrawingTest, OtherDriversLogAndDrawNothing) {
  testscreen.driver = 2;
  HandObject hand;
  int s = hand.addsurface(MeshSurface{});
  hand.addrect(s, 10, 10, 20, 20, 10, white);
  drawobject(hand.finish());
  drawsfxobject(&hand.object);
  EXPECT_EQ(logtext(), "not implemented yet" "not implemented yet");
  EXPECT_EQ(std::string(cardtracetext()), "");
}

}  // namespace
