// The scene reader's own records and the cores beneath readlws and loadscene.
//
// Private to the scene folder (and its tests, fuzz target and benchmark). The public
// readlws and loadscene keep the fixed messages and exit codes; the cores below return a
// status instead of ending the process, so that tests and the fuzzer can drive every
// refusal without leaving.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "lws/lws.h"
#include "lws/motion.h"

// The word buffer holds a file name of up to 1023 characters; a longer word is cut
// (the rest of it is consumed and dropped), never overrun.
constexpr int lwswordsize = 1024;
constexpr int lwsfilenamesize = 1024;

struct LwsObject {
  LwsMotion motion;
  int32_t parentindex = -1;  // 0-based into the object list, -1 none
  int32_t parentline = 0;    // line of its "ParentObject", for messages
  int32_t filled = 0;        // 1 once its motion block was read
  int32_t line = 0;          // line of its "LoadObject" or "AddNullObject"
  int32_t isnull = 0;        // classic reader: an "AddNullObject" (a name, not a file)
  char filename[lwsfilenamesize] = {};
};

struct LwsSfxObject {
  int32_t sfxtype = 0;
  int32_t numparticles = 0;
  float quadwidth = 0;
  float quadheight = 0;
  float lifetime = 0;
  int32_t rangestart = 0;
  int32_t rangeend = 0;
  int32_t birthcolor[3] = {0, 0, 0};
  int32_t deathcolor[3] = {0, 0, 0};
  float starttrans = 0;
  float endtrans = 0;
  float randfactor = 0;
  LwsMotion motion;
  int32_t filled = 0;  // 1 once both its motion block and its "SfxType" values were read
  int32_t line = 0;
  char filename[lwsfilenamesize] = {};
};

struct LwsLight {
  LwsMotion motion;
  int32_t red = 0, green = 0, blue = 0;  // 0..255
  float intensity = 1.0f;  // kept when the value does not parse (an envelope)
  int32_t lighttype = 0;  // 0 distant, 1 point; other types are lit as points
  int32_t falloffon = 0;
  float falloffrange = 0;
  int32_t lensflare = 0;
  LwsMotion intensityenvelope;  // classic reader: "LgtIntensity (envelope)", value in channel 0
  int32_t filled = 0;  // 1 once its motion block and "LightColor" values were read
  int32_t line = 0;
};

struct LwsCamera {
  LwsMotion motion;
  float zoomfactor = 1.0f;
  LwsMotion zoomenvelope;  // classic reader: "ZoomFactor (envelope)", value in channel 0
  int32_t targetindex = -1;  // 0-based, -1 none
  int32_t filled = 0;        // 1 once "ShowCamera" and its motion block were read
  int32_t line = 0;
};

struct LwsScene {
  int32_t firstframe = 0;
  int32_t lastframe = 60;
  int32_t framestep = 1;
  float framespersecond = 30.0f;
  LwsObject *objects = nullptr;
  int32_t numobjects = 0;
  LwsSfxObject *sfxobjects = nullptr;  // allocated only when numsfxobjects > 0
  int32_t numsfxobjects = 0;
  LwsLight *lights = nullptr;
  int32_t numlights = 0;
  LwsCamera *camera = nullptr;
  int32_t ambientred = 0, ambientgreen = 0, ambientblue = 0;
  float ambientintensity = 0;
  int32_t backdrop = -1;  // classic reader: the solid backdrop, 0x00RRGGBB; -1 none given
};

// The file as a stream of words, read the way "%s\n", "%d\n" and "%f\n" read it: a word
// is a run of non-space bytes, and every item takes the spaces behind it, so eof is set
// by the read of the last word itself.
struct LwsInput {
  const char *name = nullptr;  // for messages
  const char *text = nullptr;
  size_t size = 0;
  size_t pos = 0;
  int32_t line = 1;      // line of pos, counted from 1
  int32_t wordline = 0;  // line of the last word read
  int eof = 0;
  char wordbuffer[lwswordsize] = {};
  // The first number that does not fit its field (an int beyond 32 bits, a real beyond a
  // float), its line and text; the scene is refused for it once read.
  int32_t overflowline = 0;
  char overflowtext[48] = {};
};

// A remembered place in the input, as fgetpos keeps it.
struct LwsInputPos {
  size_t pos = 0;
  int32_t line = 1;
};

enum LwsStatus {
  lwsok = 0,
  lwsnotopen,    // the file cannot be opened
  lwsnotscene,   // the first word is not "LWSC"
  lwsnomemory,   // an entry array cannot be allocated
  lwskeysnomemory,   // a key array of a motion block cannot be allocated
  lwsrefused,    // the file breaks a rule of the loader (logged with what and where)
  lwsscenenomemory,  // loadscene: the Scene or one of its reference arrays
  lwsnoobject,   // loadscene: an object file cannot be loaded, or an effect or a
                 // motion cannot be set up (logged)
};

// The first rule the objects' parent indices break: object by object, an index outside
// the list, then a parent given a child beyond maxchildren; after those, an object that is
// its own ancestor (following parents from any object must reach a root within n steps,
// so that the render pass's walk from the roots ends). The reader and the scene loader
// each report a broken rule in their own words.
enum ParentRule { parentsok, parentoutside, parentchildren, parentcycle, parentnomemory };
struct ParentProblem {
  ParentRule rule = parentsok;
  int32_t object = -1;   // 0-based: the object whose ParentObject breaks the rule
  int32_t parent = -1;   // 0-based: its parent index
  int32_t children = 0;  // parentchildren: the parent's child count with this object
};
ParentProblem checkparentlinks(const LwsObject *objects, int n);

// Releases a Scene and everything in it, objects and effects included: for tests, the
// fuzzer and the benchmark, which load many scenes in one process. The player never
// releases a scene.
void releasescene(Scene *scene);

// The tolerant reader for classic content (lwplay): version 1 scenes of LightWave 3.x to
// 5.x read line by line, keyword by keyword; unknown keywords and blocks skipped, missing
// values defaulted, envelopes of a light's intensity and the camera's zoom kept, each
// change one adaptwarning line. lwsnotscene without "LWSC" first (after a byte-order
// mark), lwsrefused for later versions (logged); otherwise lwsok with every count, index
// and parent made safe for the loader. Nothing is printed but warnings.
LwsStatus readclassictext(const char *name, const char *text, size_t size, LwsScene **out);
// readclassictext on a file opened through openfile; lwsnotopen when it cannot be read.
LwsStatus readclassicfile(const char *filename, LwsScene **out);
// Finds the object file a classic scene names, from the working folder (the scene's):
// findclassicfile with "Objects" as the subfolder, then with ".lwo" added when the name
// has no extension. 1 with the path in out, relative to the working folder when it lies
// in it or above it; 0 when nothing matches.
int findobjectfile(const char *name, char *out, size_t outsize);

// The fixed messages and exit codes of readlws and loadscene for a status: prints the
// reader's lines, and ends the process for lwsnotscene (12), lwsnomemory and
// lwskeysnomemory (2) and lwsscenenomemory (12); returns for the others.
void lwsreport(LwsStatus status, const char *filename);

// Number of words equal to keyword from the current position to the end; the position
// and eof indicator are as before the call.
int countkeyword(LwsInput *input, const char *keyword);

// Reads the scene in text (size bytes; name for messages). *out gets the new LwsScene
// on lwsok, none otherwise (nothing is left allocated). Prints the basic scene
// information; refusals go to the log.
LwsStatus readlwstext(const char *name, const char *text, size_t size, LwsScene **out);
// readlwstext on a file opened through openfile; lwsnotopen when it cannot be read.
LwsStatus readlwsfile(const char *filename, LwsScene **out);
// Either reader of scene text on a file read whole through openinput, within the scene
// size limit; lwsnotopen when it cannot be read.
typedef LwsStatus (*SceneTextReader)(const char *name, const char *text, size_t size, LwsScene **out);
LwsStatus readscenefile(const char *filename, LwsScene **out, SceneTextReader readtext);
// The loader without its exits: *out gets the scene on lwsok. Statuses other than
// lwsok and lwsnoobject are those of readlwsfile, or lwsnomemory.
LwsStatus loadscenecore(const char *filename, double scale, Scene **out);
