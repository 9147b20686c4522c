// Key-frame motion: Kochanek-Bartels splines on the Hermite basis.
//
// Kept apart from lws.h because the object record (lwo.h) embeds a Motion while the
// scene record (lws.h) embeds the object folder's texture-name table.
#pragma once

#include <cstdint>

// One key: nine channel values at a whole frame. Channels: x, y, z, heading, pitch,
// bank (degrees), scale x, y, z.
struct MotionKey {
  float values[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  int32_t linear = 0;  // non-zero: the segment ending at this key is linear
  int32_t frame = 0;
  float tension = 0;
  float continuity = 0;
  float bias = 0;
};

// A motion as the scene reader read it: positions not scaled, keys in file order.
struct LwsMotion {
  MotionKey *keys = nullptr;
  int32_t numkeys = 0;
  int32_t endbehavior = 0;
};

// The runtime motion; owns a private copy of the keys.
struct Motion {
  MotionKey *keys = nullptr;
  int32_t numkeys = 0;
  int32_t framespan = 0;    // last key frame - first key frame; 0 with fewer than two keys
  int32_t endbehavior = 0;  // 1 hold the last key, 2 repeat, other values nothing special
};

// The nine evaluated channel values, in MotionKey order.
struct Pose {
  float values[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
};

// Copies src into dst with x, y, z multiplied by scale. Returns 1; returns 0 and leaves
// dst unfilled for a motion without keys, with keys not in strictly increasing frame
// order or spanning more frames than 32 bits hold (logged), or when the keys cannot be allocated ("Memory allocation failed:
// getlwsmotion" to the log).
int getlwsmotion(const LwsMotion *src, Motion *dst, float scale);
// Hermite basis weights at t: h1 start value, h2 end value, h3 leaving tangent,
// h4 arriving tangent.
void hermite(double t, double *h1, double *h2, double *h3, double *h4);
// Evaluates the motion at frame f into pose; the motion is not changed. Frames past the
// last key that no end behaviour moves evaluate to the last key.
void evalmotion(const Motion *motion, Pose *pose, double f);
