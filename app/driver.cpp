#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app.h"
#include "display/display.h"
#include "lws/lws.h"
#include "platform/glide/glide.h"
#include "platform/platform.h"

void fatalerror(const char *text, int code) {
  errorbox(text);
  // std::exit flushes every stream as well; flushing the log here keeps it whole even
  // if something registered at exit were to fail first.
  if (errorlog != nullptr) fflush(errorlog);
  fflush(stdout);
  exit(code);
}

void rundemo(int, char **) {
  static const char *const scenefiles[3] = {"intro1.lws", "intro2.lws", "by.lws"};
  Scene *scenes[3] = {nullptr, nullptr, nullptr};

  initscreen(640, 480, 16, 1);
  setviewport(0, 0, 640, 480);

  // Every scene and object file is read before the card opens, so a broken third scene
  // ends the programme before anything is shown. A termination signal ends loading at
  // the next file opened; from playback on it ends the presentation as a close does.
  stoploading = 1;
  for (int i = 0; i < 3; i++) {
    // A scene file that is not there is a scene that cannot be loaded (code 2); the
    // scene loader would end the process with its own code for an unreadable file.
    // The probe is the reader's own check: a folder, FIFO or device is refused here
    // without being read.
    int64_t size = 0;
    FILE *probe = openinput(scenefiles[i], maxscenebytes, &size);
    if (probe == nullptr) {
      failcause("%s: %s", scenefiles[i], inputfailure());
      fatalerror("Error:Couldnt load scene!!!", 2);
    }
    fclose(probe);
    scenes[i] = loadscene(scenefiles[i], 1.0);
    if (scenes[i] == nullptr) {
      failcause("%s: the scene cannot be loaded (the lines above and error3d.txt say why)",
                scenefiles[i]);
      fatalerror("Error:Couldnt load scene!!!", 2);
    }
    // 64-bit: frame numbers come from the file and may lie anywhere in the int32 range.
    if ((int64_t)scenes[i]->lastframe - (int64_t)scenes[i]->firstframe < 2) {
      failcause("%s: frames %d to %d; a scene needs its last frame at least two after its first",
                scenefiles[i], (int)scenes[i]->firstframe, (int)scenes[i]->lastframe);
      fatalerror("Too few frames!!", 5);
    }
    if (i == 0) errorbox("Scene ok!");
    // The loader empties the global table for every scene, so each scene keeps its own
    // copy for playscene to put back.
    memcpy(&scenes[i]->texturenames, &texturenametable, sizeof(TextureNameTable));
  }

  stoploading = 0;

  if (!init3d(640, 480, 16, 1)) {
    failcause("no 3D card could be opened (LWDEMO_NOCARD set, or the card's window failed)");
    fatalerror("Could not init3d", 3);
  }

  setbackdropcolor(0, 0, 0);
  cardsetname(scenefiles[0]);
  playscene(scenes[0]);
  setbackdropcolor(0, 0, 0);
  cardsetname(scenefiles[1]);
  playscene(scenes[1]);
  setbackdropcolor(200, 200, 255);
  cardsetname(scenefiles[2]);
  playscene(scenes[2]);

  shutdowndisplay();
  fflush(errorlog);
}
