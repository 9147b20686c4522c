// makeshow: writes lwdemo's own show into a folder.
#include <cstdio>
#include <cstring>

#include "tools/show/show.h"

namespace {

void usage(FILE *out) {
  fprintf(out,
          "usage: makeshow <folder>\n"
          "Writes lwdemo's own show into <folder>: the scenes \"intro1.lws\", \"intro2.lws\"\n"
          "and \"by.lws\", their objects in <folder>/objects and their textures in\n"
          "<folder>/textures. The folder is made if it does not exist; files already there\n"
          "are overwritten. Run lwdemo in that folder to play the show.\n");
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    usage(stdout);
    return 0;
  }
  if (argc != 2 || argv[1][0] == 0 || argv[1][0] == '-') {
    usage(stderr);
    return 2;
  }
  if (!writeshow(argv[1])) {
    fprintf(stderr, "makeshow: the show in %s is incomplete\n", argv[1]);
    return 1;
  }
  return 0;
}
