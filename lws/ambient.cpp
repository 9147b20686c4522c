#include "lws/lws.h"

float ambientcolor[3] = {0, 0, 0};
