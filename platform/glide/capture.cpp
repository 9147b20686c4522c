// The card's frame output: captured frames (PNG files, or a video through FFmpeg's
// libraries) encoded on a worker thread beside playback, and screenshots. Every file appears whole under its name or not at all: it is
// written to a hidden temporary name in the same folder and renamed into place when
// complete.
//
// The swap copies a shown frame into one of captureslots preallocated slots and returns;
// the worker encodes the slots in order. A full queue makes the swap wait for the worker,
// so no frame is ever dropped and playback only slows when encoding cannot keep up.
// Nothing is allocated per frame on either side: libpng takes its memory (its own records
// and zlib's state) from an arena set up when the card opens and reset for each frame,
// and the encoded bytes go to the file through a fixed staging buffer with write(2).
// The video encoder allocates its packets itself; that is FFmpeg's to decide.
#include <errno.h>
#include <fcntl.h>
#include <png.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <new>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "platform/glide/cardinternal.h"
#include "platform/platform.h"

ssize_t (*capturewrite)(int fd, const void *bytes, size_t count) = write;

namespace {

// Three slots: one being encoded, one waiting, one being filled by the swap. A short run
// of slow frames is absorbed; when encoding is slower than playing on average, the queue
// is full whatever its length, and more slots would only hold more memory.
constexpr int captureslots = 3;

// zlib's deflate state at libpng's defaults (window 15 bits, memory level 8) is 256 KiB
// plus about 6 KiB; libpng's own records stay under 16 KiB, its compression buffers under
// 64 KiB. Its row buffers (the row, the previous row and two filter trials) are four rows.
size_t arenasize(int width) { return (size_t)1024 * 1024 + 8 * ((size_t)width * 3 + 64); }

struct PngArena {
  uint8_t *base = nullptr;
  size_t size = 0, used = 0;
};

// Where libpng's output goes: staged in a fixed buffer, written out when it fills.
struct PngSink {
  int fd = -1;
  int error = 0;  // errno of the first failure: a write, or ENOMEM from the arena
  PngArena *arena = nullptr;
  uint8_t stage[64 * 1024];
  size_t staged = 0;
};

int flushsink(PngSink *s) {
  size_t at = 0;
  while (at < s->staged && s->error == 0) {
    ssize_t n = capturewrite(s->fd, s->stage + at, s->staged - at);
    if (n > 0)
      at += (size_t)n;
    else if (n < 0 && errno != EINTR)
      s->error = errno;
    else if (n == 0)
      s->error = EIO;
  }
  s->staged = 0;
  return s->error == 0;
}

png_voidp arenaalloc(png_structp png, png_alloc_size_t size) {
  PngSink *s = (PngSink *)png_get_mem_ptr(png);
  PngArena *a = s->arena;
  size_t need = (size + 15) & ~(size_t)15;
  if (need < size || need > a->size - a->used) {
    if (s->error == 0) s->error = ENOMEM;
    return nullptr;
  }
  void *p = a->base + a->used;
  a->used += need;
  return p;
}

void arenafree(png_structp, png_voidp) {}

void sinkwrite(png_structp png, png_bytep data, size_t length) {
  PngSink *s = (PngSink *)png_get_io_ptr(png);
  while (length > 0) {
    if (s->staged == sizeof s->stage && !flushsink(s)) png_error(png, "write");
    size_t n = sizeof s->stage - s->staged;
    if (n > length) n = length;
    memcpy(s->stage + s->staged, data, n);
    s->staged += n;
    data += n;
    length -= n;
  }
}

void sinkflush(png_structp) {}

[[noreturn]] void pngfailed(png_structp png, png_const_charp) {
  PngSink *s = (PngSink *)png_get_error_ptr(png);
  if (s->error == 0) s->error = EIO;
  png_longjmp(png, 1);
}

void pngwarned(png_structp, png_const_charp) {}

// Encodes width x height RGB pixels into fd. 0 when written, else the errno of the cause.
// Only plain values live in this frame: libpng's errors return here by longjmp.
int encodepng(PngSink *sink, const uint8_t *rgb, int width, int height) {
  sink->arena->used = 0;
  sink->error = 0;
  sink->staged = 0;
  png_structp png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, sink, pngfailed, pngwarned,
                                              sink, arenaalloc, arenafree);
  if (png == nullptr) return sink->error != 0 ? sink->error : ENOMEM;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return sink->error != 0 ? sink->error : EIO;
  }
  png_set_write_fn(png, sink, sinkwrite, sinkflush);
  png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Level 3 with the default adaptive filters: on seven frames of the show, 39 ms a frame
  // against 63 ms at level 6 for files of 72 KB against 62 KB (level 1: 37 ms, 79 KB),
  // measured on a loaded two-core machine.
  png_set_compression_level(png, 3);
  png_write_info(png, info);
  for (int y = 0; y < height; y++) png_write_row(png, rgb + (size_t)y * width * 3);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return flushsink(sink) ? 0 : sink->error;
}

// Writes the PNG to temp; 0 when it is complete there, else the errno of the cause.
int writepngtemp(PngSink *sink, const char *temp, const uint8_t *rgb, int width, int height) {
  int fd = open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  sink->fd = fd;
  int error = encodepng(sink, rgb, width, height);
  if (close(fd) != 0 && error == 0) error = errno;
  return error;
}

struct Slot {
  uint8_t *rgb = nullptr;
  uint64_t frame = 0;
  uint64_t hold = 0;  // retraces the frame stays on screen
};

// The video: an H.264 stream (MPEG-4 Part 2 where the libraries have no H.264 encoder) at
// a constant 60000/1001 frames a second, one video frame per retrace, so each shown frame
// is repeated for the retraces it is held and the video keeps the card's pace.
struct Video {
  AVFormatContext *format = nullptr;
  AVCodecContext *codec = nullptr;
  AVStream *stream = nullptr;
  AVFrame *frame = nullptr;
  AVPacket *packet = nullptr;
  SwsContext *convert = nullptr;
  int64_t pts = 0;
  char final[4096] = {};
};

struct Capture {
  int video = 0;  // 1: the frames go to a video, 0: to PNG files in folder
  Video v;
  std::atomic<int> active{0};  // frames are being queued; the worker clears it on a failure
  int width = 0, height = 0;
  int every = 1;
  char folder[4096] = {};
  // The one temporary name the worker writes each frame (or the video) to; fixed while
  // the card is open so that the signal handler can remove it without building a name.
  char temp[4400] = {};
  char screenshottemp[64] = {};
  Slot slots[captureslots];
  int head = 0, count = 0;  // the queue: slots head, head + 1, ... (mod captureslots)
  int stopping = 0;
  std::mutex lock;
  std::condition_variable work, space;
  std::thread worker;
  PngArena arena;
  PngSink *sink = nullptr;
  std::atomic<int> lost{0};  // a frame, video or screenshot could not be written
  char name[256] = {};       // what is being played, for screenshot names
};

Capture capture;
int exithooked = 0;

// The one line a lost output gets: "lwdemo: <path>: <reason>; <what>".
void reportlost(const char *what, const char *path, const char *reason) {
  failcause("%s: %s; %s", path, reason, what);
  capture.lost = 1;
}

void reportlost(const char *what, const char *path, int error) {
  reportlost(what, path, strerror(error));
}

void reportav(const char *path, int averror) {
  char reason[AV_ERROR_MAX_STRING_SIZE];
  av_strerror(averror, reason, sizeof reason);
  reportlost("capture stopped, the show plays on", path, reason);
}

// Sends frame (null: the end of the stream) and writes every packet the encoder has ready.
// 0 or an AVERROR.
int encodevideo(Video *v, AVFrame *frame) {
  int r = avcodec_send_frame(v->codec, frame);
  while (r >= 0) {
    r = avcodec_receive_packet(v->codec, v->packet);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return 0;
    if (r < 0) break;
    av_packet_rescale_ts(v->packet, v->codec->time_base, v->stream->time_base);
    v->packet->stream_index = v->stream->index;
    r = av_interleaved_write_frame(v->format, v->packet);
  }
  return r;
}

int videowrite(Video *v, const Slot *s, int width, int height) {
  int r = av_frame_make_writable(v->frame);
  if (r < 0) return r;
  const uint8_t *planes[1] = {s->rgb};
  const int strides[1] = {width * 3};
  sws_scale(v->convert, planes, strides, 0, height, v->frame->data, v->frame->linesize);
  for (uint64_t i = 0; i < s->hold && r >= 0; i++) {
    v->frame->pts = v->pts++;
    r = encodevideo(v, v->frame);
  }
  return r;
}

void videofree(Video *v) {
  if (v->format != nullptr && !(v->format->oformat->flags & AVFMT_NOFILE)) avio_closep(&v->format->pb);
  avformat_free_context(v->format);
  avcodec_free_context(&v->codec);
  av_frame_free(&v->frame);
  av_packet_free(&v->packet);
  sws_freeContext(v->convert);
  *v = Video{};
}

// The end of the video: the encoder drained, the trailer written and the file put in
// place; or, after a failure, the temporary file removed.
void videofinish(Capture *c) {
  Video *v = &c->v;
  if (v->format == nullptr) return;
  if (c->active) {
    int r = encodevideo(v, nullptr);
    if (r >= 0) r = av_write_trailer(v->format);
    if (r >= 0) r = avio_closep(&v->format->pb);
    if (r >= 0 && rename(c->temp, v->final) != 0) r = AVERROR(errno);
    if (r < 0) {
      c->active = 0;
      reportav(v->final, r);
    }
  }
  videofree(v);
  if (!c->active) unlink(c->temp);
}

// Opens the encoder and the temporary file of the video path; 0 or an AVERROR.
int videoopen(Capture *c, const char *path) {
  Video *v = &c->v;
  snprintf(v->final, sizeof v->final, "%s", path);
  const AVOutputFormat *container = av_guess_format(nullptr, path, nullptr);
  if (container == nullptr) return AVERROR_MUXER_NOT_FOUND;
  int r = avformat_alloc_output_context2(&v->format, container, nullptr, c->temp);
  if (r < 0) return r;
  const AVCodec *encoder = avcodec_find_encoder_by_name("libx264");
  if (encoder == nullptr) {
    encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    fprintf(stderr, "card: no H.264 encoder in this FFmpeg; the video is MPEG-4 Part 2\n");
  }
  if (encoder == nullptr) return AVERROR_ENCODER_NOT_FOUND;
  v->codec = avcodec_alloc_context3(encoder);
  v->stream = avformat_new_stream(v->format, nullptr);
  v->frame = av_frame_alloc();
  v->packet = av_packet_alloc();
  v->convert = sws_getContext(c->width, c->height, AV_PIX_FMT_RGB24, c->width, c->height,
                              AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (v->codec == nullptr || v->stream == nullptr || v->frame == nullptr ||
      v->packet == nullptr || v->convert == nullptr)
    return AVERROR(ENOMEM);
  v->codec->width = c->width;
  v->codec->height = c->height;
  v->codec->pix_fmt = AV_PIX_FMT_YUV420P;
  v->codec->time_base = AVRational{1001, 60000};
  v->codec->framerate = AVRational{60000, 1001};
  v->codec->gop_size = 120;
  if (v->format->oformat->flags & AVFMT_GLOBALHEADER) v->codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  // veryfast: the whole show unpaced (3004 video frames at 640x480) took 16 s more
  // processor time with the video than without, 5.5 ms a frame, a third of a core at 60
  // frames a second. Constant quality 20 keeps the flat colours free of banding.
  av_opt_set(v->codec->priv_data, "preset", "veryfast", 0);
  av_opt_set(v->codec->priv_data, "crf", "20", 0);
  if (encoder->id == AV_CODEC_ID_MPEG4) v->codec->bit_rate = 8000000;
  r = avcodec_open2(v->codec, encoder, nullptr);
  if (r < 0) return r;
  r = avcodec_parameters_from_context(v->stream->codecpar, v->codec);
  if (r < 0) return r;
  v->stream->time_base = v->codec->time_base;
  v->stream->avg_frame_rate = v->codec->framerate;
  v->frame->format = AV_PIX_FMT_YUV420P;
  v->frame->width = c->width;
  v->frame->height = c->height;
  r = av_frame_get_buffer(v->frame, 0);
  if (r < 0) return r;
  r = avio_open(&v->format->pb, c->temp, AVIO_FLAG_WRITE);
  if (r < 0) return r;
  return avformat_write_header(v->format, nullptr);
}

void workerloop(Capture *c) {
  for (;;) {
    std::unique_lock<std::mutex> hold(c->lock);
    c->work.wait(hold, [c] { return c->count > 0 || c->stopping; });
    if (c->count == 0) break;
    Slot *s = &c->slots[c->head];
    hold.unlock();
    if (c->active && c->video) {
      int r = videowrite(&c->v, s, c->width, c->height);
      if (r < 0) {
        c->active = 0;
        reportav(c->v.final, r);
      }
    } else if (c->active) {
      char final[4300];
      snprintf(final, sizeof final, "%.4000s/frame%06llu.png", c->folder, (unsigned long long)s->frame);
      int error = writepngtemp(c->sink, c->temp, s->rgb, c->width, c->height);
      if (error == 0 && rename(c->temp, final) != 0) error = errno;
      if (error != 0) {
        unlink(c->temp);
        c->active = 0;
        reportlost("capture stopped, the show plays on", final, error);
      }
    }
    hold.lock();
    c->head = (c->head + 1) % captureslots;
    c->count--;
    c->space.notify_one();
  }
  if (c->video) videofinish(c);
}

void freecapture(Capture *c) {
  for (Slot &s : c->slots) {
    free(s.rgb);
    s = Slot{};
  }
  free(c->arena.base);
  c->arena = PngArena{};
  free(c->sink);
  c->sink = nullptr;
  c->active = 0;
  c->head = c->count = 0;
  c->stopping = 0;
  videofree(&c->v);
  c->video = 0;
  c->temp[0] = 0;
}

void finishatexit() { capturefinish(); }

// Creates every missing folder of path. 0 with errno set when one cannot be made or a
// component is not a folder.
int makefolders(const char *path) {
  char part[4096];
  size_t n = strlen(path);
  if (n >= sizeof part) {
    errno = ENAMETOOLONG;
    return 0;
  }
  for (size_t i = 1; i <= n; i++) {
    if (i < n && path[i] != '/') continue;
    memcpy(part, path, i);
    part[i] = 0;
    if (mkdir(part, 0777) != 0 && errno != EEXIST) return 0;
  }
  struct stat st;
  if (stat(path, &st) != 0) return 0;
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return 0;
  }
  return 1;
}

}  // namespace

int captureopen(int width, int height) {
  Capture &c = capture;
  capturefinish();
  snprintf(c.screenshottemp, sizeof c.screenshottemp, ".lwdemo-screenshot-%ld.tmp", (long)getpid());
  const char *dir = getenv("LWDEMO_CAPTURE");
  if (dir == nullptr || dir[0] == 0) return 1;
  c.every = 1;
  const char *every = getenv("LWDEMO_CAPTURE_EVERY");
  if (every != nullptr && every[0] != 0) {
    char *end = nullptr;
    long n = strtol(every, &end, 10);
    if (end != every && *end == 0 && n >= 1 && n <= 1000000)
      c.every = (int)n;
    else
      fprintf(stderr, "card: LWDEMO_CAPTURE_EVERY=%s not a count from 1, capturing every frame\n", every);
  }
  size_t n = strlen(dir);
  while (n > 1 && dir[n - 1] == '/') n--;
  if (n >= sizeof c.folder - 64) {
    reportlost("capture stopped, the show plays on", dir, ENAMETOOLONG);
    return 0;
  }
  // A name ending in .mp4 or .mkv is a video; anything else a folder of PNG files.
  c.video = n > 4 && (strcasecmp(dir + n - 4, ".mp4") == 0 || strcasecmp(dir + n - 4, ".mkv") == 0);
  const char *base = dir;
  if (c.video)
    for (const char *p = dir; *p != 0; p++)
      if (*p == '/') base = p + 1;
  // The folder the files go into; for a video, the one the video is in ("" for here).
  size_t folderlength = c.video ? (size_t)(base - dir) : n;
  while (c.video && folderlength > 1 && dir[folderlength - 1] == '/') folderlength--;
  memcpy(c.folder, dir, folderlength);
  c.folder[folderlength] = 0;
  if (c.folder[0] != 0 && !makefolders(c.folder)) {
    reportlost("capture stopped, the show plays on", c.folder, errno);
    return 0;
  }
  c.width = width;
  c.height = height;
  size_t bytes = (size_t)width * height * 3;
  for (Slot &s : c.slots) s.rgb = (uint8_t *)malloc(bytes);
  c.arena.size = arenasize(width);
  c.arena.base = (uint8_t *)malloc(c.arena.size);
  c.sink = (PngSink *)malloc(sizeof(PngSink));
  int ok = c.arena.base != nullptr && c.sink != nullptr;
  for (Slot &s : c.slots) ok = ok && s.rgb != nullptr;
  if (!ok) {
    freecapture(&c);
    reportlost("capture stopped, the show plays on", dir, ENOMEM);
    return 0;
  }
  new (c.sink) PngSink{};
  c.sink->arena = &c.arena;
  if (c.video) {
    snprintf(c.temp, sizeof c.temp, "%.4000s%s.%.200s.lwdemo-%ld.tmp", c.folder,
             c.folder[0] != 0 ? "/" : "", base, (long)getpid());
    av_log_set_level(AV_LOG_QUIET);  // our one message says what failed
    int r = videoopen(&c, dir);
    if (r < 0) {
      reportav(dir, r);
      unlink(c.temp);
      freecapture(&c);
      return 0;
    }
  } else {
    snprintf(c.temp, sizeof c.temp, "%.4000s/.lwdemo-capture-%ld.tmp", c.folder, (long)getpid());
  }
  c.active = 1;
  // Every path out of the process that runs exit handlers (the end of the programme and
  // every fatal error) finishes the queue first.
  if (!exithooked) exithooked = atexit(finishatexit) == 0;
  // The worker (and any thread an encoder starts from it) never takes the termination
  // signals: their handler runs on the playing thread, whose waits they interrupt.
  sigset_t block, previous;
  sigemptyset(&block);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&block, signal);
  pthread_sigmask(SIG_BLOCK, &block, &previous);
  c.worker = std::thread(workerloop, &c);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return 1;
}

int capturetakes(uint64_t frame, uint64_t hold) {
  const Capture &c = capture;
  if (!c.active) return 0;
  return c.video ? hold != 0 : (frame - 1) % (uint64_t)c.every == 0;
}

void captureframe(const uint8_t *rgb, uint64_t frame, uint64_t hold) {
  Capture &c = capture;
  if (!capturetakes(frame, hold)) return;
  std::unique_lock<std::mutex> locked(c.lock);
  c.space.wait(locked, [] { return capture.count < captureslots; });
  // Only this thread adds to the queue, so the slot after the last stays ours while
  // the copy runs unlocked.
  Slot *s = &c.slots[(c.head + c.count) % captureslots];
  locked.unlock();
  memcpy(s->rgb, rgb, (size_t)c.width * c.height * 3);
  s->frame = frame;
  s->hold = hold;
  locked.lock();
  c.count++;
  c.work.notify_one();
}

void capturefinish(void) {
  Capture &c = capture;
  if (c.worker.joinable()) {
    {
      std::lock_guard<std::mutex> hold(c.lock);
      c.stopping = 1;
    }
    c.work.notify_one();
    c.worker.join();
  }
  freecapture(&c);
}

int capturelost(void) { return capture.lost; }
void captureresetlost(void) { capture.lost = 0; }

void captureremovetemporaries(void) {
  if (capture.temp[0] != 0) unlink(capture.temp);
  if (capture.screenshottemp[0] != 0) unlink(capture.screenshottemp);
}

void capturesetname(const char *name) {
  const char *base = name != nullptr ? name : "";
  for (const char *p = base; *p != 0; p++)
    if (*p == '/' || *p == '\\') base = p + 1;
  size_t n = strlen(base);
  const char *dot = strrchr(base, '.');
  if (dot != nullptr && dot != base) n = (size_t)(dot - base);
  if (n >= sizeof capture.name) n = sizeof capture.name - 1;
  memcpy(capture.name, base, n);
  capture.name[n] = 0;
}

int capturescreenshot(const uint8_t *rgb, int width, int height, uint64_t frame, char *written,
                      size_t writtensize) {
  Capture &c = capture;
  if (written != nullptr && writtensize > 0) written[0] = 0;
  PngSink *sink = (PngSink *)malloc(sizeof(PngSink));
  PngArena arena;
  arena.size = arenasize(width);
  arena.base = (uint8_t *)malloc(arena.size);
  char final[400];
  snprintf(final, sizeof final, "lwdemo-%s-%06llu.png", c.name[0] ? c.name : "card",
           (unsigned long long)frame);
  int error = ENOMEM;
  if (sink != nullptr && arena.base != nullptr) {
    new (sink) PngSink{};
    sink->arena = &arena;
    error = writepngtemp(sink, c.screenshottemp, rgb, width, height);
    // A link, unlike a rename, never replaces a file that exists under the name.
    for (int suffix = 2; error == 0 && link(c.screenshottemp, final) != 0; suffix++) {
      error = errno;
      if (error != EEXIST || suffix >= 1000) break;
      error = 0;
      snprintf(final, sizeof final, "lwdemo-%s-%06llu-%d.png", c.name[0] ? c.name : "card",
               (unsigned long long)frame, suffix);
    }
    unlink(c.screenshottemp);
  }
  free(sink);
  free(arena.base);
  if (error != 0) {
    reportlost("no screenshot written", final, error);
    return 0;
  }
  if (written != nullptr) snprintf(written, writtensize, "%s", final);
  return 1;
}
