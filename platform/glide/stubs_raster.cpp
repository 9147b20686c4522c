// Placeholders until the card's device and rasterizer land; that work deletes this file.
#include "platform/glide/glide.h"
void grGlideGetVersion(char version[80]) { version[0] = 0; }
void grGlideInit(void) {}
FxBool grSstQueryHardware(GrHwConfiguration *) { return FXFALSE; }
void grSstSelect(int) {}
FxBool grSstWinOpen(FxU32, GrScreenResolution_t, GrScreenRefresh_t, GrColorFormat_t,
                    GrOriginLocation_t, int, int) { return FXFALSE; }
void grGlideShutdown(void) {}
void grDepthBufferMode(GrDepthBufferMode_t) {}
void grDepthBufferFunction(GrCmpFnc_t) {}
void grDepthMask(FxBool) {}
void grBufferClear(GrColor_t, GrAlpha_t, FxU16) {}
void grBufferSwap(int) {}
void guColorCombineFunction(GrColorCombineFnc_t) {}
void grColorCombine(GrCombineFunction_t, GrCombineFactor_t, GrCombineLocal_t, GrCombineOther_t, FxBool) {}
void grAlphaCombine(GrCombineFunction_t, GrCombineFactor_t, GrCombineLocal_t, GrCombineOther_t, FxBool) {}
void grTexCombineFunction(GrChipID_t, GrTextureCombineFnc_t) {}
void grAlphaBlendFunction(GrAlphaBlendFnc_t, GrAlphaBlendFnc_t, GrAlphaBlendFnc_t, GrAlphaBlendFnc_t) {}
void grDrawPolygonVertexList(int, const GrVertex[]) {}
int cardwindowed(void) { return 0; }
void cardgetstats(CardStats *stats) { *stats = CardStats{}; }
const FxU16 *cardbackbuffer(void) { return nullptr; }
const FxU16 *cardfrontbuffer(void) { return nullptr; }
const FxU16 *carddepthbuffer(void) { return nullptr; }
void cardscanout(const FxU16 *, FxU8 *) {}
void cardtrace(int) {}
const char *cardtracetext(void) { return ""; }
void cardtraceclear(void) {}
