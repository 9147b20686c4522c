// The card's workers: a queue of set-up triangles and clears in submission order, drawn
// by every worker over its own share of the rows.
//
// One submitter (the thread that drives the card) writes commands into a ring and
// publishes them by advancing head; each worker walks the ring behind it and publishes how
// far it got in done. A slot is written again only when every worker has passed it, so
// the ring is the only memory the queue uses, allocated once when the workers start.
// The submitter draws share 0 itself, each batch as it publishes it: with count threads
// asked for, count - 1 are started, so count processors are busy and none is
// oversubscribed by a submitter that only waits.
// Waiting spins briefly (a command usually follows within microseconds) and then sleeps
// on the counter it waits for.
#include <emmintrin.h>

#include <atomic>
#include <cstdio>
#include <new>
#include <thread>

#include "platform/glide/cardinternal.h"

namespace {

// Deep enough that a frame's set-up runs well ahead of the drawing (the show submits a
// few thousand triangles a frame), shallow enough to stay in the cache's reach: each
// command is about half a kilobyte.
constexpr uint64_t queuecapacity = 1024;

enum CommandKind { drawtriangle, clearbuffers, stopworkers };

struct Command {
  int kind = drawtriangle;
  CardTarget target;
  CardSetup setup;
  uint32_t color = 0;
  int withdepth = 0;
  uint16_t z = 0;
};

struct alignas(64) Worker {
  std::atomic<uint64_t> done{0};
  std::thread thread;
};

struct Pool {
  int count = 1;  // shares of the rows: the submitter's (0) and one per started worker
  uint64_t owndone = 0;  // commands the submitter has drawn its share of
  Command *commands = nullptr;
  Worker *workers = nullptr;
  alignas(64) std::atomic<uint64_t> head{0};
  uint64_t written = 0;  // commands written, published or not (the submitter's own count)
  // Threads asleep on a counter. A wake-up costs a system call, too dear for every
  // command, so counters are only notified while someone sleeps; sleeper and notifier
  // both use sequentially consistent order, so either the sleeper sees the new value or
  // the notifier sees the sleeper.
  alignas(64) std::atomic<int> sleepers{0};
};

Pool pool;

// Waits until counter differs from value.
void waitchange(std::atomic<uint64_t> *counter, uint64_t value) {
  for (int i = 0; i < 256; i++) {
    if (counter->load(std::memory_order_acquire) != value) return;
    _mm_pause();
  }
  pool.sleepers.fetch_add(1);
  if (counter->load() == value) counter->wait(value);
  pool.sleepers.fetch_sub(1);
}

void advance(std::atomic<uint64_t> *counter, uint64_t value) {
  counter->store(value);
  if (pool.sleepers.load() > 0) counter->notify_all();
}

// Draws command c's rows of share id.
void drawcommand(const Command &c, int id) {
  CardTarget share = c.target;
  share.band = id;
  share.bands = pool.count;
  if (c.kind == drawtriangle) {
    carddrawsetup(&c.setup, &share);
  } else {
    cardfillcolor(&share, c.color);
    if (c.withdepth) cardfilldepth(&share, c.z);
  }
}

void runworker(int id) {
  Worker &me = pool.workers[id];
  uint64_t next = 0;
  for (;;) {
    uint64_t head = pool.head.load(std::memory_order_acquire);
    if (next == head) {
      waitchange(&pool.head, head);
      continue;
    }
    for (; next < head; next++) {
      const Command &c = pool.commands[next % queuecapacity];
      if (c.kind == stopworkers) return;
      drawcommand(c, id);
      advance(&me.done, next + 1);
    }
  }
}

// Makes every written command visible to the workers, then draws the submitter's share
// of them.
void publish() {
  if (pool.head.load(std::memory_order_relaxed) != pool.written) advance(&pool.head, pool.written);
  for (; pool.owndone < pool.written; pool.owndone++) {
    const Command &c = pool.commands[pool.owndone % queuecapacity];
    if (c.kind != stopworkers) drawcommand(c, 0);
  }
}

// Waits until every share has drawn the commands before index upto.
void waitworkers(uint64_t upto) {
  publish();
  for (int i = 1; i < pool.count; i++) {
    std::atomic<uint64_t> &done = pool.workers[i].done;
    for (uint64_t d = done.load(std::memory_order_acquire); d < upto;
         d = done.load(std::memory_order_acquire))
      waitchange(&done, d);
  }
}

// The next free slot, once every worker is past its previous use.
Command *nextslot() {
  uint64_t at = pool.written;
  if (at >= queuecapacity) waitworkers(at - queuecapacity + 1);
  return &pool.commands[at % queuecapacity];
}

// Commands are published in batches: a worker woken for every small triangle would spend
// more on waking than on drawing.
constexpr uint64_t batch = 32;

void commandwritten() {
  pool.written++;
  if (pool.written - pool.head.load(std::memory_order_relaxed) >= batch) publish();
}

}  // namespace

int cardworkersstart(int count) {
  cardworkersstop();
  if (count <= 1) return 1;
  pool.commands = new (std::nothrow) Command[queuecapacity];
  pool.workers = new (std::nothrow) Worker[count];
  if (pool.commands == nullptr || pool.workers == nullptr) {
    delete[] pool.commands;
    delete[] pool.workers;
    pool.commands = nullptr;
    pool.workers = nullptr;
    return 0;
  }
  pool.count = count;
  pool.head.store(0);
  pool.written = 0;
  pool.owndone = 0;
  for (int i = 1; i < count; i++) {
    try {
      pool.workers[i].thread = std::thread(runworker, i);
    } catch (const std::exception &) {
      // Fewer workers than asked would split the rows differently from what those started
      // expect: stop them and draw on the calling thread.
      pool.count = i;  // workers 1 .. i - 1 are running
      cardworkersstop();
      return 0;
    }
  }
  return 1;
}

void cardworkersstop(void) {
  if (pool.workers != nullptr) {
    if (pool.count > 1) {
      nextslot()->kind = stopworkers;
      pool.written++;
      publish();
    }
    for (int i = 1; i < pool.count; i++)
      if (pool.workers[i].thread.joinable()) pool.workers[i].thread.join();
  }
  delete[] pool.commands;
  delete[] pool.workers;
  pool.commands = nullptr;
  pool.workers = nullptr;
  pool.count = 1;
  pool.head.store(0);
  pool.written = 0;
  pool.owndone = 0;
}

int cardworkercount(void) { return pool.workers != nullptr ? pool.count : 1; }

void cardqueuetriangle(const CardSetup *s, const CardTarget *target) {
  Command *c = nextslot();
  c->kind = drawtriangle;
  c->target = *target;
  c->setup = *s;
  commandwritten();
}

void cardqueueclear(const CardTarget *target, uint32_t color, int withdepth, uint16_t z) {
  Command *c = nextslot();
  c->kind = clearbuffers;
  c->target = *target;
  c->color = color;
  c->withdepth = withdepth;
  c->z = z;
  commandwritten();
}

void cardfinish(void) {
  if (pool.workers == nullptr) return;
  waitworkers(pool.written);
}
