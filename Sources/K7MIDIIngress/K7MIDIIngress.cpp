#include "K7MIDIIngress/K7MIDIIngress.h"

#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "K7MIDIIngress/ProcessBarrier.h"

namespace {

constexpr uint64_t lossPendingBit = uint64_t{1} << 63;
constexpr std::size_t defaultMaximumBatchBytes = 65536;
constexpr std::size_t maximumCapacity = std::size_t{1} << 30;

// How long an idle worker polls before it sleeps: input comes in bursts, and the next chunk of one
// is usually caught without a sleep and a wake-up, which takes long. The consumer hears that the
// input settled after a few microseconds of quiet.
constexpr uint64_t idleNanoseconds = 100000;
constexpr uint64_t settleNanoseconds = 2000;
// Pauses between looks at the clock.
constexpr int spinsPerLook = 16;

// The word a sleeping worker waits on: a private futex, so a wake costs one system call and only
// when the worker really sleeps.
using FutexWord = std::atomic<uint32_t>;
static_assert(sizeof(FutexWord) == sizeof(uint32_t) && FutexWord::is_always_lock_free);

void futexWait(FutexWord& word, uint32_t expected) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, expected, nullptr, nullptr, 0);
}

void futexWake(FutexWord& word, int count) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, count, nullptr, nullptr, 0);
}

void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

std::size_t roundedCapacity(std::size_t requested) {
    std::size_t capacity = 16;
    while (capacity < requested && capacity < maximumCapacity) capacity <<= 1;
    return capacity;
}

}  // namespace

struct K7MIDIIngress {
    std::size_t capacity = 0;
    std::size_t mask = 0;
    std::unique_ptr<uint8_t[]> ring;
    std::size_t maximumBatchBytes = 0;
    std::unique_ptr<uint8_t[]> batch;
    K7MIDIIngressBatchHandler handler = nullptr;
    K7MIDIIngressSettledHandler settledHandler = nullptr;
    void* handlerContext = nullptr;
    // Consumer's: batches were delivered since the settled handler last ran.
    bool unsettled = false;
    K7MIDIIngressClock clock = nullptr;
    void* clockContext = nullptr;

    // Producer and consumer each own one index; the other side only reads it.
    alignas(64) std::atomic<uint64_t> writeIndex{0};
    alignas(64) std::atomic<uint64_t> readIndex{0};
    // Pending bit plus the bytes lost in the current gap; the consumer clears it with one exchange.
    alignas(64) std::atomic<uint64_t> loss{0};
    std::atomic<uint64_t> bytesDropped{0};
    std::atomic<uint64_t> highWaterMark{0};
    std::atomic<uint64_t> batchesDelivered{0};

    // 1 while the worker sleeps or is about to. A producer publishes bytes and then looks at it;
    // the worker sets it and then looks for bytes (see ProcessBarrier.h). The futex wait rechecks
    // the word, so a wake between the worker's look and its wait is not lost.
    alignas(64) FutexWord sleeping{0};
    std::atomic<bool> stopping{false};
    bool processBarrier = false;
    bool workerRunning = false;
    pthread_t worker{};

    // After publishing bytes or a loss.
    void wake() {
        uint32_t asleep = 0;
        if (processBarrier) {
            std::atomic_signal_fence(std::memory_order_seq_cst);
            asleep = sleeping.load(std::memory_order_relaxed);
        } else {
            // Without the process barrier both sides modify the word, which orders them: whichever
            // comes second sees what the first published.
            asleep = sleeping.fetch_add(0, std::memory_order_acq_rel);
        }
        if (asleep && sleeping.exchange(0, std::memory_order_acq_rel)) futexWake(sleeping, 1);
    }

    bool hasWork() const {
        return writeIndex.load(std::memory_order_relaxed) != readIndex.load(std::memory_order_relaxed) ||
               (loss.load(std::memory_order_relaxed) & lossPendingBit) != 0;
    }

    void settle() {
        if (unsettled && settledHandler) settledHandler(handlerContext);
        unsettled = false;
    }

    void idle() {
        const uint64_t start = K7MIDIIngressMonotonicNanoseconds();
        for (int spin = 1;; ++spin) {
            if (hasWork() || stopping.load(std::memory_order_relaxed)) return;
            cpuRelax();
            if (spin % spinsPerLook != 0) continue;
            const uint64_t quiet = K7MIDIIngressMonotonicNanoseconds() - start;
            if (quiet >= settleNanoseconds) settle();
            if (quiet >= idleNanoseconds) break;
        }
        bool barrier = true;
        if (processBarrier) {
            sleeping.store(1, std::memory_order_relaxed);
            barrier = k7::runProcessBarrier();
        } else {
            sleeping.exchange(1, std::memory_order_acq_rel);
        }
        if (!hasWork() && !stopping.load(std::memory_order_relaxed)) {
            if (barrier) {
                futexWait(sleeping, 1);
            } else {
                // Without the barrier a wake may be missed: never sleep long.
                const timespec briefly{0, 1000000};
                syscall(SYS_futex, reinterpret_cast<uint32_t*>(&sleeping), FUTEX_WAIT_PRIVATE, 1, &briefly,
                        nullptr, 0);
            }
        }
        sleeping.store(0, std::memory_order_relaxed);
    }

    uint64_t now() const { return clock ? clock(clockContext) : K7MIDIIngressMonotonicNanoseconds(); }

    // Hands one batch to the handler; returns false when there was nothing to hand over.
    bool deliverOne(std::size_t* deliveredBytes) {
        const uint64_t lossState = loss.load(std::memory_order_acquire);
        const uint64_t write = writeIndex.load(std::memory_order_acquire);
        const uint64_t read = readIndex.load(std::memory_order_relaxed);
        const uint64_t available = write - read;
        const bool lossPending = (lossState & lossPendingBit) != 0;
        if (available == 0 && !lossPending) return false;

        const std::size_t count = static_cast<std::size_t>(std::min<uint64_t>(available, maximumBatchBytes));
        const std::size_t start = static_cast<std::size_t>(read & mask);
        const std::size_t first = std::min(count, capacity - start);
        // Bytes in one piece are handed over in place: the producer cannot reuse them before the
        // read index moves past them, after the handler. Only a batch that wraps is copied.
        const uint8_t* bytes = ring.get() + start;
        if (first < count) {
            std::memcpy(batch.get(), ring.get() + start, first);
            std::memcpy(batch.get() + first, ring.get(), count - first);
            bytes = batch.get();
        }

        uint64_t dropped = 0;
        if (lossPending && count == available) {
            // Everything written before the gap is in this batch; the producer may start again.
            dropped = loss.exchange(0, std::memory_order_acq_rel) & ~lossPendingBit;
        }

        K7MIDIIngressBatch delivered{bytes, count, read, dropped, now()};
        batchesDelivered.fetch_add(1, std::memory_order_relaxed);
        handler(handlerContext, &delivered);
        readIndex.store(read + count, std::memory_order_release);
        unsettled = true;
        if (deliveredBytes) *deliveredBytes += count;
        return true;
    }
};

extern "C" {

K7MIDIIngress* K7MIDIIngressCreate(const K7MIDIIngressConfiguration* configuration) {
    if (!configuration || !configuration->handler) return nullptr;
    auto* ingress = new (std::nothrow) K7MIDIIngress();
    if (!ingress) return nullptr;
    ingress->capacity = roundedCapacity(configuration->capacity);
    ingress->mask = ingress->capacity - 1;
    ingress->maximumBatchBytes =
        configuration->maximumBatchBytes ? configuration->maximumBatchBytes : defaultMaximumBatchBytes;
    ingress->ring.reset(new (std::nothrow) uint8_t[ingress->capacity]);
    ingress->batch.reset(new (std::nothrow) uint8_t[ingress->maximumBatchBytes]);
    if (!ingress->ring || !ingress->batch) {
        delete ingress;
        return nullptr;
    }
    ingress->processBarrier = k7::processBarrierAvailable();
    ingress->handler = configuration->handler;
    ingress->settledHandler = configuration->settled;
    ingress->handlerContext = configuration->handlerContext;
    ingress->clock = configuration->clock;
    ingress->clockContext = configuration->clockContext;
    return ingress;
}

void K7MIDIIngressDestroy(K7MIDIIngress* ingress) {
    if (!ingress) return;
    K7MIDIIngressStopWorker(ingress);
    delete ingress;
}

int K7MIDIIngressStartWorker(K7MIDIIngress* ingress) {
    if (!ingress) return EINVAL;
    if (ingress->workerRunning) return EBUSY;
    ingress->stopping.store(false);
    const int status = pthread_create(&ingress->worker, nullptr, K7IngressWorkerMain, ingress);
    if (status != 0) return status;
    ingress->workerRunning = true;
    pthread_setname_np(ingress->worker, "k7.midi.ingress");
    return 0;
}

void* K7IngressWorkerMain(void* argument) {
    auto* ingress = static_cast<K7MIDIIngress*>(argument);
    for (;;) {
        if (ingress->deliverOne(nullptr)) continue;
        if (ingress->stopping.load(std::memory_order_acquire)) {
            // Bytes written before the stop are visible now, even if the last look missed them.
            while (ingress->deliverOne(nullptr)) {
            }
            ingress->settle();
            break;
        }
        ingress->idle();
    }
    return nullptr;
}

void K7MIDIIngressStopWorker(K7MIDIIngress* ingress) {
    if (!ingress || !ingress->workerRunning) return;
    ingress->stopping.store(true, std::memory_order_release);
    ingress->wake();
    pthread_join(ingress->worker, nullptr);
    ingress->workerRunning = false;
}

bool K7MIDIIngressWrite(K7MIDIIngress* ingress, const uint8_t* bytes, size_t count) {
    if (!ingress || count == 0) return true;
    for (;;) {
        const uint64_t lossState = ingress->loss.load(std::memory_order_acquire);
        if (lossState & lossPendingBit) {
            // A gap is waiting for the consumer: extend it rather than open a second one.
            uint64_t expected = lossState;
            if (!ingress->loss.compare_exchange_weak(expected, lossState + count, std::memory_order_acq_rel)) continue;
            ingress->bytesDropped.fetch_add(count, std::memory_order_relaxed);
            ingress->wake();
            return false;
        }
        const uint64_t write = ingress->writeIndex.load(std::memory_order_relaxed);
        const uint64_t read = ingress->readIndex.load(std::memory_order_acquire);
        const uint64_t used = write - read;
        if (count > ingress->capacity - used) {
            // Only the consumer clears the loss state, and only after seeing the pending bit.
            ingress->loss.store(lossPendingBit | count, std::memory_order_release);
            ingress->bytesDropped.fetch_add(count, std::memory_order_relaxed);
            ingress->wake();
            return false;
        }
        const std::size_t start = static_cast<std::size_t>(write & ingress->mask);
        const std::size_t first = std::min(count, ingress->capacity - start);
        std::memcpy(ingress->ring.get() + start, bytes, first);
        std::memcpy(ingress->ring.get(), bytes + first, count - first);
        ingress->writeIndex.store(write + count, std::memory_order_release);
        if (used + count > ingress->highWaterMark.load(std::memory_order_relaxed)) {
            ingress->highWaterMark.store(used + count, std::memory_order_relaxed);
        }
        ingress->wake();
        return true;
    }
}

void K7MIDIIngressMarkLoss(K7MIDIIngress* ingress, size_t count) {
    if (!ingress) return;
    count = count == 0 ? 1 : count;
    for (;;) {
        uint64_t lossState = ingress->loss.load(std::memory_order_acquire);
        const uint64_t next = (lossState & lossPendingBit) ? lossState + count : (lossPendingBit | count);
        if (ingress->loss.compare_exchange_weak(lossState, next, std::memory_order_acq_rel)) break;
    }
    ingress->bytesDropped.fetch_add(count, std::memory_order_relaxed);
    ingress->wake();
}

size_t K7MIDIIngressPump(K7MIDIIngress* ingress) {
    if (!ingress || ingress->workerRunning) return 0;
    std::size_t delivered = 0;
    while (ingress->deliverOne(&delivered)) {
    }
    ingress->settle();
    return delivered;
}

uint64_t K7MIDIIngressStreamPosition(const K7MIDIIngress* ingress) {
    return ingress ? ingress->writeIndex.load(std::memory_order_acquire) : 0;
}

K7MIDIIngressMetrics K7MIDIIngressGetMetrics(const K7MIDIIngress* ingress) {
    K7MIDIIngressMetrics metrics{};
    if (!ingress) return metrics;
    metrics.bytesIn = ingress->writeIndex.load(std::memory_order_acquire);
    metrics.bytesDropped = ingress->bytesDropped.load(std::memory_order_relaxed);
    metrics.highWaterMark = ingress->highWaterMark.load(std::memory_order_relaxed);
    metrics.batchesDelivered = ingress->batchesDelivered.load(std::memory_order_relaxed);
    metrics.capacity = ingress->capacity;
    return metrics;
}

uint64_t K7MIDIIngressMonotonicNanoseconds(void) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

}  // extern "C"
