// Our stand-ins for the operating system the scenes were made on: file names.
//
// Scene and object files name other files with Windows paths ("Objects\ship.lwo",
// "textures\Marble.3df"), and Windows matches names without regard to case. Every file
// the system opens goes through openfile, which maps backslashes to slashes and, when the
// exact name does not exist, matches each path component case-insensitively. The names
// stored and logged stay as the files wrote them.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Writes the host path for a Windows-style name into out (size outsize). Returns 1 when a
// file or folder of that name exists (exactly, or component by component ignoring case);
// 0 when none does or the result does not fit, with out holding the slash-mapped name
// (or empty when that does not fit either).
int resolvepath(const char *name, char *out, size_t outsize);
// fopen through resolvepath: the exact mapped name first, else the case-insensitive match.
FILE *openfile(const char *name, const char *mode);
// Finds a file a classic scene or object names with its maker's path: an Amiga volume
// ("HD1:Images/Marble.iff", "Work:LW/Objects/ship.lwo"), a DOS drive path
// ("D:\LW\Images\Marble.tga"), back or forward slashes. Shared by the tolerant readers of
// scenes, objects and images. Tried in order, the first regular file wins:
//   1. the name as written (through resolvepath, relative to the working folder);
//   2. its last path components without the volume or drive, the most components first,
//      under folder and then under each of its parents, up to classicsearchparents
//      above it ("HD1:LW/Images/sky.iff" is found as Images/sky.iff beside the scene's
//      own folder, or as sky.iff in it);
//   3. when subfolder is given ("Images", "Objects"), its base name in subfolder under
//      folder and each of those parents.
// Every component matches ignoring case; "." and ".." components of the name are
// dropped, so a name never climbs above where it is looked for. folder null or empty is
// the working folder. Writes the host path into out (size outsize) and returns 1; 0 with
// out empty when nothing is found or the path does not fit.
constexpr int classicsearchparents = 4;
int findclassicfile(const char *name, const char *folder, const char *subfolder, char *out,
                    size_t outsize);

// PNG images through libpng, 8 bits a channel, rows top first, no padding between rows.
// channels is 3 (RGB) or 4 (RGBA). Both open their file through openfile.
// Writes width x height pixels, whole or not at all (openatomic); 1 written, 0 on bad
// arguments or a write error (errno says which; the file under path is left as it was).
// fast trades size for speed (zlib level 1, no row filter: many times quicker, a larger
// file).
int writepng(const char *path, const uint8_t *pixels, int width, int height, int channels,
             int fast = 0);
// Reads any PNG (every colour type and bit depth, interlaced or not) as 8-bit RGB or RGBA:
// *pixels is malloc'ed (the caller frees it) and *width, *height set. The stored values are
// kept: 16-bit channels are scaled to 8 bits and no gamma or colour-space change is made.
// 0 when the file cannot be read (openinput), is damaged, or is larger than maxside on a
// side, with the reason for inputfailure; *pixels is then null and the sizes 0, except for
// an image too large, whose sides are given. readpng reads up to pngmaxside.
constexpr int pngmaxside = 16384;
int readpngwithin(const char *path, int maxside, uint8_t **pixels, int *width, int *height,
                  int channels);
int readpng(const char *path, uint8_t **pixels, int *width, int *height, int channels);

// ---- Images read in place of 3DF textures (lwplay) ----

// A decoded image: ARGB8888 0xAARRGGBB, rows top first, no padding. argb is malloc'ed;
// freeimage releases it. alpha says what the alpha channel holds: 0 every pixel opaque,
// 1 only opaque and clear pixels (a mask plane or a transparent colour), 2 graded.
struct Image {
  int width = 0, height = 0;
  int alpha = 0;
  uint32_t *argb = nullptr;
};

// Limits on what an image file may ask for, checked before anything is allocated: the
// file's bytes, each side, and the pixels in all (16 Mi pixels, 64 MiB of ARGB).
constexpr size_t imagemaxfilebytes = (size_t)64 << 20;
constexpr int imagemaxside = 16384;
constexpr int64_t imagemaxpixels = (int64_t)1 << 24;

// An IFF ILBM image in memory, as Amiga paint and render programs wrote it: BMHD, CMAP,
// CAMG and BODY chunks; uncompressed or ByteRun1 rows; 1 to 8 bitplanes through the
// palette, extra half-brite (64 colours, the upper 32 the lower at half brightness), HAM6
// and HAM8, 24 planes of RGB and 32 of RGBA; a mask plane or a transparent colour. 1 with
// image filled; 0 with *why a sentence naming what is wrong and image empty. The pixels
// are allocated only once the BODY is known to be long enough for them.
int decodeilbm(const uint8_t *data, size_t size, Image *image, const char **why);
// Reads an image file (a regular file of at most imagemaxfilebytes, through openinput):
// IFF ILBM through decodeilbm, TGA, PNG, JPEG and BMP through SDL2_image. 1 with image
// filled; 0 with *why saying what is wrong (valid until the next file is read).
int readimage(const char *path, Image *image, const char **why);
// 0, 1 or 2 as Image::alpha says, for n pixels.
int imagealphakind(const uint32_t *argb, size_t n);
// Releases the pixels and empties the record.
void freeimage(Image *image);

// Classic content. 0 (lwdemo): the readers refuse what their layouts do not cover, with
// the design's messages and exits. 1 (lwplay): they adapt it instead (scene layouts of
// earlier LightWave versions, volume paths, many-cornered polygons, images in place of
// 3DF textures), each adaptation one line through adaptwarning. Written once by the
// program's entry point before anything is loaded.
extern int tolerantloading;
// Where adaptwarning writes; standard error while null. Set by lwplay's entry point.
extern FILE *warninglog;
// One warning line ("warning: " + the formatted text + a line feed), flushed at once.
void adaptwarning(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// ---- Files read: regular files of a bounded size ----
//
// Every reader opens its file through openinput with the largest size its kind of file can
// have (each reader states how it derives its limit). A folder, FIFO, device or socket is
// refused at once, before anything is read from it, and so is a file over the limit; the
// size is taken from the open descriptor, so a file swapped in between is caught as well.
// Returns the file (binary read) and its size in *size, or null with the reason kept for
// inputfailure.
FILE *openinput(const char *name, int64_t limit, int64_t *size);
// Why the last openinput of this thread failed: "No such file or directory", "is a folder,
// not a file", "is 70000000 bytes, more than the 67108864 this kind of file may have", ...
const char *inputfailure(void);
// Reads the whole file opened by openinput (size bytes as it gave) into a malloc'ed block
// of size + 1 bytes, the last a zero; null when it cannot be read or holds fewer bytes
// than size, with the reason kept for inputfailure. Closes f.
char *readinput(FILE *f, int64_t size);
// Keeps a reason of the caller's own for inputfailure (a reader that found the contents bad).
void noteinputfailure(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// ---- Files written whole or not at all ----
//
// openatomic creates a hidden temporary file beside name (resolved as openfile resolves
// it) and opens it for binary writing; commitatomic flushes it to the disk, closes it and
// renames it to name, so readers of name see the old file or the whole new one, never a
// part. When anything fails the temporary file is removed, name is left as it was, and
// errno holds the reason. A process killed in between leaves at most the hidden temporary.
struct AtomicFile {
  FILE *file = nullptr;  // write here between openatomic and commit/abandon
  char path[4096] = {};  // the resolved final name
  char temp[4096] = {};
};
// 1 with out->file open; 0 (errno set) when the folder does not take a new file.
int openatomic(AtomicFile *out, const char *name);
// 1 when the whole file is in place under its name; 0 with errno set, nothing left behind.
int commitatomic(AtomicFile *out);
// Closes and removes the temporary file; name is untouched. errno is kept.
void abandonatomic(AtomicFile *out);

// One line on standard error naming a failure's cause: the program's name, ": ", the
// formatted text and a line feed, flushed at once. Goes beside the design's own messages.
void failcause(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// The termination signal (SIGINT, SIGTERM or SIGHUP) that has arrived, 0 while none.
// Written only by the shell's signal handler.
extern volatile sig_atomic_t terminationsignal;
// 1 while the programme loads its files (written by the driver): openfile and openinput
// then end the process with exit code 128 + terminationsignal once a signal has arrived,
// so a long load stops at its next file, with the log flushed by exit.
extern int stoploading;
// "termination (SIGTERM)", "a hang-up (SIGHUP)" or "Ctrl+C (SIGINT)" for terminationsignal.
const char *terminationsignalname(void);
