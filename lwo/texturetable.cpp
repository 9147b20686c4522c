#include "lwo/lwo.h"

TextureNameTable texturenametable;
