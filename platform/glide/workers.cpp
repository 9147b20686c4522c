// The card's workers: a queue of set-up triangles and clears in submission order, drawn
// share by share of the rows.
//
// One submitter (the thread that drives the card) writes commands into a ring and
// publishes them by advancing head. The rows are split into as many shares as threads
// draw; a share's commands are drawn in order by whichever thread holds the share's claim,
// which publishes how far the share got in done. So a frame is the same bits whoever
// draws which share, and no thread waits on another that the scheduler has set aside
// while there is a share it can draw itself: the submitter draws share 0 as it publishes
// each batch, and anything still undrawn when it must wait (a swap, a read of the pixels,
// a full ring), and each worker takes the first share with work, its own first. A slot is
// written again only when every share has passed it, so the ring is the only memory the
// queue uses, allocated once when the workers start. Waiting spins briefly (a command
// usually follows within microseconds) and then sleeps on the counter it waits for.
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

enum CommandKind { drawtriangle, clearbuffers };

struct Command {
  int kind = drawtriangle;
  CardTarget target;
  CardSetup setup;
  uint32_t color = 0;
  int withdepth = 0;
  uint16_t z = 0;
};

struct alignas(64) Share {
  std::atomic<uint64_t> done{0};     // commands drawn in this share
  std::atomic<uint64_t> claimed{0};  // 1 while a thread draws this share
  std::thread thread;                // the worker that prefers this share (none for share 0)
};

struct Pool {
  int count = 1;  // shares of the rows, and threads drawing them (the submitter one)
  Command *commands = nullptr;
  Share *shares = nullptr;
  alignas(64) std::atomic<uint64_t> head{0};
  std::atomic<int> stopping{0};
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

// Draws share id's commands up to index upto unless another thread holds its claim;
// 1 when it drew (or nothing was left), 0 when the share was claimed elsewhere. The
// claim's acquire and release order one holder's pixels before the next holder's.
int drawshare(int id, uint64_t upto) {
  Share &s = pool.shares[id];
  if (s.done.load(std::memory_order_acquire) >= upto) return 1;
  if (s.claimed.exchange(1, std::memory_order_acquire) != 0) return 0;
  for (uint64_t next = s.done.load(std::memory_order_relaxed); next < upto; next++) {
    const Command &c = pool.commands[next % queuecapacity];
    CardTarget share = c.target;
    share.band = id;
    share.bands = pool.count;
    if (c.kind == drawtriangle) {
      carddrawsetup(&c.setup, &share);
    } else {
      cardfillcolor(&share, c.color);
      if (c.withdepth) cardfilldepth(&share, c.z);
    }
    s.done.store(next + 1, std::memory_order_release);
  }
  advance(&s.claimed, 0);
  return 1;
}

void runworker(int id) {
  for (;;) {
    // Stopping is set before head moves past the last command, so a worker that sees
    // that head sees it stopping.
    uint64_t head = pool.head.load();
    if (pool.stopping.load()) return;
    int drew = 0;
    for (int k = 0; k < pool.count; k++) {
      int s = (id + k) % pool.count;
      if (pool.shares[s].done.load(std::memory_order_acquire) < head && drawshare(s, head)) drew = 1;
    }
    if (!drew) waitchange(&pool.head, head);
  }
}

// Makes every written command visible to the workers, then draws share 0 of them unless
// a worker is at it.
void publish() {
  if (pool.head.load(std::memory_order_relaxed) != pool.written) advance(&pool.head, pool.written);
  drawshare(0, pool.written);
}

// Waits until every share has drawn the commands before index upto, drawing each share
// no one else is drawing.
void waitshares(uint64_t upto) {
  publish();
  for (;;) {
    int busy = -1;
    for (int s = 0; s < pool.count; s++)
      if (!drawshare(s, upto)) busy = s;
    if (busy < 0) return;
    // Another thread draws that share: wait until it lets the share go, then draw what
    // it left.
    waitchange(&pool.shares[busy].claimed, 1);
  }
}

// The next free slot, once every share is past its previous use.
Command *nextslot() {
  uint64_t at = pool.written;
  if (at >= queuecapacity) waitshares(at - queuecapacity + 1);
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
  pool.shares = new (std::nothrow) Share[count];
  if (pool.commands == nullptr || pool.shares == nullptr) {
    delete[] pool.commands;
    delete[] pool.shares;
    pool.commands = nullptr;
    pool.shares = nullptr;
    return 0;
  }
  pool.count = count;
  pool.head.store(0);
  pool.stopping.store(0);
  pool.written = 0;
  for (int i = 1; i < count; i++) {
    try {
      pool.shares[i].thread = std::thread(runworker, i);
    } catch (const std::exception &) {
      cardworkersstop();
      return 0;
    }
  }
  return 1;
}

void cardworkersstop(void) {
  if (pool.shares != nullptr) {
    waitshares(pool.written);
    pool.stopping.store(1);
    advance(&pool.head, pool.written + 1);  // wakes the workers, which then stop
    for (int i = 1; i < pool.count; i++)
      if (pool.shares[i].thread.joinable()) pool.shares[i].thread.join();
  }
  delete[] pool.commands;
  delete[] pool.shares;
  pool.commands = nullptr;
  pool.shares = nullptr;
  pool.count = 1;
  pool.head.store(0);
  pool.written = 0;
}

int cardworkercount(void) { return pool.shares != nullptr ? pool.count : 1; }

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
  if (pool.shares == nullptr) return;
  waitshares(pool.written);
}
