#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "K7MIDIIngress/K7MIDIIngress.h"

namespace {

// Collects batches as the consumer hands them over.
struct Collector {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<uint8_t> bytes;
    std::vector<K7MIDIIngressBatch> batches;  // pointers are stale; counts and offsets are kept
    uint64_t dropped = 0;

    static void handle(void* context, const K7MIDIIngressBatch* batch) {
        auto* self = static_cast<Collector*>(context);
        std::lock_guard lock(self->mutex);
        // Every batch starts where the previous one ended: the stream has no holes but the gaps.
        if (!self->batches.empty()) {
            const auto& last = self->batches.back();
            EXPECT_EQ(batch->streamOffset, last.streamOffset + last.byteCount);
        }
        self->bytes.insert(self->bytes.end(), batch->bytes, batch->bytes + batch->byteCount);
        self->batches.push_back(*batch);
        self->dropped += batch->droppedByteCountAfter;
        self->changed.notify_all();
    }
};

struct IngressHandle {
    explicit IngressHandle(Collector& collector, size_t capacity, size_t maximumBatch = 0,
                           void (*settled)(void*) = nullptr) {
        K7MIDIIngressConfiguration configuration{};
        configuration.capacity = capacity;
        configuration.maximumBatchBytes = maximumBatch;
        configuration.handler = &Collector::handle;
        configuration.handlerContext = &collector;
        configuration.settled = settled;
        ingress = K7MIDIIngressCreate(&configuration);
    }
    ~IngressHandle() { K7MIDIIngressDestroy(ingress); }
    K7MIDIIngress* ingress;
};

std::vector<uint8_t> sequence(size_t count, uint8_t first = 0) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

TEST(K7MIDIIngress, RefusesAConfigurationWithoutHandlerAndRoundsTheCapacityUp) {
    K7MIDIIngressConfiguration configuration{};
    configuration.capacity = 64;
    EXPECT_EQ(K7MIDIIngressCreate(&configuration), nullptr);
    EXPECT_EQ(K7MIDIIngressCreate(nullptr), nullptr);
    Collector collector;
    for (auto [requested, expected] : std::vector<std::pair<size_t, uint64_t>>{{0, 16}, {16, 16}, {17, 32}, {1000, 1024}}) {
        IngressHandle handle(collector, requested);
        EXPECT_EQ(K7MIDIIngressGetMetrics(handle.ingress).capacity, expected) << requested;
    }
}

// Chunks that wrap around the ring's end, in batches smaller than the ring, come out intact.
TEST(K7MIDIIngress, PumpDeliversWrappedChunksInOrder) {
    Collector collector;
    IngressHandle handle(collector, 16, 5);
    std::vector<uint8_t> expected;
    uint8_t next = 0;
    for (size_t size : {7, 9, 3, 16, 1, 11}) {
        auto chunk = sequence(size, next);
        next = static_cast<uint8_t>(next + size);
        ASSERT_TRUE(K7MIDIIngressWrite(handle.ingress, chunk.data(), chunk.size()));
        expected.insert(expected.end(), chunk.begin(), chunk.end());
        K7MIDIIngressPump(handle.ingress);
    }
    EXPECT_EQ(collector.bytes, expected);
    for (const auto& batch : collector.batches) EXPECT_LE(batch.byteCount, 5u);
    const auto metrics = K7MIDIIngressGetMetrics(handle.ingress);
    EXPECT_EQ(metrics.bytesIn, expected.size());
    EXPECT_EQ(metrics.bytesDropped, 0u);
    EXPECT_EQ(metrics.highWaterMark, 16u);
}

// An overflow drops whole chunks and keeps refusing until the consumer has seen the gap, so the
// loss is one hole at one position however many chunks it swallowed.
TEST(K7MIDIIngress, OverflowBecomesOneGapAtItsPosition) {
    Collector collector;
    IngressHandle handle(collector, 16);
    ASSERT_TRUE(K7MIDIIngressWrite(handle.ingress, sequence(10).data(), 10));
    EXPECT_FALSE(K7MIDIIngressWrite(handle.ingress, sequence(7, 100).data(), 7));
    EXPECT_FALSE(K7MIDIIngressWrite(handle.ingress, sequence(2, 200).data(), 2))
        << "bytes after a pending gap must not be stitched onto those before it";
    EXPECT_EQ(K7MIDIIngressStreamPosition(handle.ingress), 10u);

    K7MIDIIngressPump(handle.ingress);
    ASSERT_EQ(collector.batches.size(), 1u);
    EXPECT_EQ(collector.batches[0].byteCount, 10u);
    EXPECT_EQ(collector.batches[0].droppedByteCountAfter, 9u);

    // After the gap was handed over the ring accepts bytes again.
    ASSERT_TRUE(K7MIDIIngressWrite(handle.ingress, sequence(4, 50).data(), 4));
    K7MIDIIngressPump(handle.ingress);
    ASSERT_EQ(collector.batches.size(), 2u);
    EXPECT_EQ(collector.batches[1].streamOffset, 10u);
    EXPECT_EQ(collector.batches[1].droppedByteCountAfter, 0u);
    EXPECT_EQ(K7MIDIIngressGetMetrics(handle.ingress).bytesDropped, 9u);

    // A gap on an empty ring is delivered as an empty batch.
    EXPECT_FALSE(K7MIDIIngressWrite(handle.ingress, sequence(17).data(), 17));
    K7MIDIIngressPump(handle.ingress);
    ASSERT_EQ(collector.batches.size(), 3u);
    EXPECT_EQ(collector.batches[2].byteCount, 0u);
    EXPECT_EQ(collector.batches[2].droppedByteCountAfter, 17u);
}

// A real producer thread against the worker: every byte arrives once, in order, and drops are
// accounted for exactly (accepted + dropped = written).
TEST(K7MIDIIngress, WorkerDeliversEverythingAProducerThreadWrites) {
    for (size_t capacity : {size_t{64}, size_t{1} << 20}) {
        Collector collector;
        IngressHandle handle(collector, capacity, 4096);
        ASSERT_EQ(K7MIDIIngressStartWorker(handle.ingress), 0);
        constexpr size_t chunks = 20000;
        std::vector<uint8_t> accepted;
        uint64_t droppedByProducer = 0;
        std::thread producer([&] {
            for (size_t i = 0; i < chunks; ++i) {
                auto chunk = sequence(1 + i % 13, static_cast<uint8_t>(i));
                if (K7MIDIIngressWrite(handle.ingress, chunk.data(), chunk.size())) {
                    accepted.insert(accepted.end(), chunk.begin(), chunk.end());
                } else {
                    droppedByProducer += chunk.size();
                }
            }
        });
        producer.join();
        K7MIDIIngressStopWorker(handle.ingress);  // delivers what is still in the ring
        std::lock_guard lock(collector.mutex);
        EXPECT_EQ(collector.bytes, accepted) << capacity;
        EXPECT_EQ(collector.dropped, droppedByProducer) << capacity;
        EXPECT_EQ(K7MIDIIngressGetMetrics(handle.ingress).bytesDropped, droppedByProducer);
        if (capacity > 100000) {
            EXPECT_EQ(droppedByProducer, 0u);
        }
    }
}

// A worker that has gone to sleep on an idle ring is woken by the next chunk, every time: a lost
// wake would leave the chunk waiting until the deadline. The pauses between chunks are longer
// than the worker polls before it sleeps.
TEST(K7MIDIIngress, WorkerWakesForEveryChunkAfterFallingAsleep) {
    Collector collector;
    IngressHandle handle(collector, 64);
    ASSERT_EQ(K7MIDIIngressStartWorker(handle.ingress), 0);
    EXPECT_EQ(K7MIDIIngressStartWorker(handle.ingress), EBUSY);
    EXPECT_EQ(K7MIDIIngressPump(handle.ingress), 0u) << "a pump does nothing while a worker consumes";
    for (size_t round = 1; round <= 100; ++round) {
        const uint8_t byte = static_cast<uint8_t>(round);
        ASSERT_TRUE(K7MIDIIngressWrite(handle.ingress, &byte, 1));
        std::unique_lock lock(collector.mutex);
        const bool delivered =
            collector.changed.wait_for(lock, std::chrono::seconds(10), [&] { return collector.bytes.size() == round; });
        ASSERT_TRUE(delivered) << "chunk " << round << " was not delivered";
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::microseconds(round % 2 ? 2000 : 50));
    }
    K7MIDIIngressStopWorker(handle.ingress);
    EXPECT_EQ(collector.bytes, sequence(100, 1));
}

// The consumer hears once that the input settled after each run of batches, from a pump at its end
// and from the worker when the input pauses; never without a batch before it.
TEST(K7MIDIIngress, TellsTheConsumerWhenTheInputSettled) {
    struct Settling : Collector {
        std::atomic<int> settled{0};
        size_t bytesWhenSettled = 0;
        static void settle(void* context) {
            auto* self = static_cast<Settling*>(context);
            std::lock_guard lock(self->mutex);
            self->bytesWhenSettled = self->bytes.size();
            ++self->settled;
            self->changed.notify_all();
        }
    };
    for (const bool worker : {false, true}) {
        SCOPED_TRACE(worker ? "worker" : "pump");
        Settling collector;
        auto handle = std::make_unique<IngressHandle>(collector, 64, 4, &Settling::settle);
        K7MIDIIngress* ingress = handle->ingress;
        ASSERT_NE(ingress, nullptr);
        if (worker) {
            ASSERT_EQ(K7MIDIIngressStartWorker(ingress), 0);
        }
        for (int round = 1; round <= 3; ++round) {
            const auto chunk = sequence(10, static_cast<uint8_t>(round * 10));
            ASSERT_TRUE(K7MIDIIngressWrite(ingress, chunk.data(), chunk.size()));
            if (!worker) {
                K7MIDIIngressPump(ingress);
                K7MIDIIngressPump(ingress);  // nothing delivered: nothing to tell
            }
            std::unique_lock lock(collector.mutex);
            ASSERT_TRUE(collector.changed.wait_for(lock, std::chrono::seconds(10),
                                                   [&] { return collector.settled.load() == round; }));
            EXPECT_EQ(collector.bytesWhenSettled, static_cast<size_t>(round) * 10) << "settled before its batches";
        }
        handle.reset();
        EXPECT_EQ(collector.settled.load(), 3);
    }
}

}  // namespace
