#include "display/display.h"
#include "platform/glide/glide.h"

int init3d(int, int, int, int usedepthbuffer) {
  // The mode is fixed at 640x480 whatever the caller asks; the version text and the
  // hardware description are read because the card expects them first, then unused.
  char version[80];
  grGlideGetVersion(version);
  grGlideInit();
  GrHwConfiguration hwconfig{};
  if (!grSstQueryHardware(&hwconfig)) return 0;
  grSstSelect(0);
  grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB,
               GR_ORIGIN_UPPER_LEFT, 2, 2);
  if (usedepthbuffer) {
    // The W buffer takes each vertex's 1/w as drawing sends it; nearer wins with LESS.
    grDepthBufferMode(GR_DEPTHBUFFER_WBUFFER);
    grDepthBufferFunction(GR_CMP_LESS);
    grDepthMask(FXTRUE);
    // After the mask: the card clears depth only while depth writes are on.
    grBufferClear(0, 0, GR_WDEPTHVALUE_FARTHEST);
  }
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  return 1;
}

// The drawing phase computes its vertex snap and divisions in single precision. An x87
// build would set the FPU's precision control to 24 bits here and restore the saved
// control word in endframe. SSE has no precision control and already rounds every float
// operation to single precision, so instead the drawing code types each step of those
// computations as float (snapsixteenth, sendpolygon) and the frame brackets carry no
// floating-point state: endframe has nothing to restore.
void beginframe(int swapinterval, int clear) {
  grBufferSwap(swapinterval);
  if (clear) grBufferClear(backdropcolor, 0, GR_WDEPTHVALUE_FARTHEST);
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
}

void endframe(void) {}

void shutdowndisplay(void) {
  if (screen != nullptr && screen->driver == 1)
    grGlideShutdown();
  else
    puts("Not implemented");
}

void closeglide(void) { grGlideShutdown(); }

void resettexturememory(void) { guTexMemReset(); }
