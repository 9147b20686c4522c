#include <SDL2/SDL.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "app/app.h"
#include "display/display.h"
#include "platform/glide/glide.h"
#include "platform/platform.h"

// The process entry: the main window, the start-up text, the programme, and the window
// closed again. The arguments are joined into one command line as the original entry
// point received it, split again and otherwise ignored.
int main(int argc, char **argv) {
  if (!createmainwindow()) {
    fputs("Could not create the main window\n", stderr);
    failcause("the start-up window cannot be opened: %s", SDL_GetError());
    return 1;
  }
  setupscriptedkey();

  std::string line;
  for (int i = 1; i < argc; i++) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  int wordcount = 0;
  char **words = parsecommandline(line.data(), &wordcount);

  rundemo(wordcount, words);

  printf("Exiting winMain()\n");
  fflush(stdout);
  destroymainwindow();
  if (errorlog != nullptr) fflush(errorlog);
  // Ctrl+C ends the presentation as a key does; termination and a hang-up still report
  // themselves, and a lost capture is reported where the run would otherwise end with 0.
  if (terminationsignal == SIGTERM || terminationsignal == SIGHUP) {
    failcause("%s ended the presentation; error3d.txt and the captured frames are complete",
              terminationsignalname());
    return 128 + terminationsignal;
  }
  return cardoutputlost() ? 4 : 0;
}
