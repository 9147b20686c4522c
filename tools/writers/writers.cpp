#include "tools/writers/writers.h"
