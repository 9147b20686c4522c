// Placeholders until the card's texture unit lands; that work deletes this file.
#include "platform/glide/glide.h"
FxBool gu3dfGetInfo(const char *, Gu3dfInfo *) { return FXFALSE; }
FxBool gu3dfLoad(const char *, Gu3dfInfo *) { return FXFALSE; }
GrMipMapId_t guTexAllocateMemory(GrChipID_t, FxU8, int, int, GrTextureFormat_t, GrMipMapMode_t,
                                 GrLOD_t, GrLOD_t, GrAspectRatio_t, GrTextureClampMode_t,
                                 GrTextureClampMode_t, GrTextureFilterMode_t,
                                 GrTextureFilterMode_t, float, FxBool) { return GR_NULL_MIPMAP_HANDLE; }
FxBool guTexDownloadMipMap(GrMipMapId_t, const void *, const GuNccTable *) { return FXFALSE; }
#include "platform/glide/cardtexture.h"
const CardTexture *cardtexture = nullptr;
void guTexSource(GrMipMapId_t) {}
void guTexMemReset(void) {}
