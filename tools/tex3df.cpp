// tex3df: PNG images to 3DF textures and back; run "tex3df --help".
#include <cstdio>

#include "tools/writers/writers.h"

int main(int argc, char **argv) { return tex3dfmain(argc, argv, stdout, stderr); }
