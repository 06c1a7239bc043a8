#include "K7MIDI/Transport/MIDIReceivePath.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "K7MIDIIngress/ProcessBarrier.h"

namespace k7 {

namespace {

// Whether any of the bytes belongs to a SysEx message (its F0, data or F7), given whether one was
// open before them. Real-time bytes may fall inside a message without being part of it.
bool carriesSysEx(ByteView bytes, bool insideMessage) {
    for (const uint8_t byte : bytes) {
        if (byte == 0xF0 || byte == 0xF7 || (byte < 0x80 && insideMessage)) return true;
        if (byte >= 0x80 && byte < 0xF8) insideMessage = false;
    }
    return false;
}

}  // namespace

struct MIDIReceivePath::State {
    struct Drain {
        Scheduler::TimePoint start;
        Scheduler::TimePoint deadline;
        Duration quietFor;
        std::function<void(MIDIReceiveDrainResult)> completion;
    };

    State(std::shared_ptr<Scheduler> queue, Handlers handlers, std::size_t maximumMessageBytes)
        : queue(std::move(queue)),
          handlers(std::move(handlers)),
          maximumMessageBytes(maximumMessageBytes),
          parser(maximumMessageBytes) {}

    std::shared_ptr<Scheduler> queue;
    const Handlers handlers;
    const std::size_t maximumMessageBytes;

    // Held while a task runs, so that the owner's destruction waits for a handler in progress.
    std::mutex runMutex;
    bool alive = true;

    // Written by cancelPending on any thread: nothing before `position` of that connection's
    // stream may be delivered any more.
    std::mutex cutMutex;
    uint64_t requestedCutConnection = 0;
    uint64_t requestedCutPosition = 0;

    // Batches on their way to the queue, gathered in buckets: a bucket is posted as one task once
    // the input settles or it has grown large, so a burst costs a few tasks and wakes of the
    // queue rather than one per batch. Batches that arrive while its task waits still join it.
    // Anything else posted first posts the open bucket and closes it: what arrives later runs
    // after that task, as if each batch had been posted on its own.
    struct PendingBatch {
        uint64_t connection;
        std::optional<int32_t> source;
        MIDIRawReceiveBatch raw;
    };
    using Bucket = std::vector<PendingBatch>;
    static constexpr std::size_t largeBucketBytes = 65536;
    std::mutex inboxMutex;
    std::shared_ptr<Bucket> openBucket;
    bool openBucketPosted = false;
    std::size_t openBucketBytes = 0;

    void enqueue(PendingBatch batch) {
        std::lock_guard lock(inboxMutex);
        if (!openBucket) {
            openBucket = std::make_shared<Bucket>();
            openBucketPosted = false;
            openBucketBytes = 0;
        }
        openBucketBytes += batch.raw.bytes.size();
        openBucket->push_back(std::move(batch));
        arrivals.store(arrivals.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        if (openBucketBytes >= largeBucketBytes) postOpenBucket();
    }

    // The input settled: what it brought goes to the queue now.
    void settle() {
        std::lock_guard lock(inboxMutex);
        postOpenBucket();
    }

    // Under inboxMutex.
    void postOpenBucket() {
        if (!openBucket || openBucketPosted) return;
        openBucketPosted = true;
        queue->post([weak = weakSelf, bucket = openBucket] {
            if (auto self = weak.lock()) self->processBucket(bucket);
        });
    }

    void processBucket(const std::shared_ptr<Bucket>& bucket) {
        Bucket batches;
        uint64_t postedBefore = 0;
        {
            std::lock_guard lock(inboxMutex);
            if (openBucket == bucket) openBucket.reset();
            batches.swap(*bucket);
            postedBefore = postedInOrder;
        }
        for (const auto& batch : batches) process(batch.connection, batch.source, batch.raw);
        if (lingers) linger(postedBefore);
    }

    // Input comes in bursts, and a queue thread that went to sleep takes long to wake: after a
    // bucket, this one looks for the next for a little while before it gives the queue back. It
    // takes batches only while nothing else was posted, which must run before them, and never
    // keeps the queue from other work for long.
    static constexpr auto lingerTime = std::chrono::microseconds(100);
    static constexpr auto longestLinger = std::chrono::milliseconds(1);
    bool lingers = false;
    uint64_t postedInOrder = 0;  // under inboxMutex
    // Batches enqueued so far, counted under inboxMutex, read without it.
    std::atomic<uint64_t> arrivals{0};

    void linger(uint64_t postedBefore) {
        Bucket batches;
        uint64_t seen = arrivals.load(std::memory_order_relaxed);
        const auto start = std::chrono::steady_clock::now();
        auto deadline = start + lingerTime;
        for (auto now = start; now < deadline && now - start < longestLinger;
             now = std::chrono::steady_clock::now()) {
            // Looks without the lock, which the worker needs, until there is something to take.
            for (int look = 0; look < 16 && arrivals.load(std::memory_order_relaxed) == seen; ++look) relax();
            if (arrivals.load(std::memory_order_relaxed) == seen) continue;
            {
                std::lock_guard lock(inboxMutex);
                if (postedInOrder != postedBefore) return;
                seen = arrivals.load(std::memory_order_relaxed);
                // Its task, if posted, finds it empty.
                if (openBucket) batches.swap(*openBucket);
            }
            for (const auto& batch : batches) process(batch.connection, batch.source, batch.raw);
            batches.clear();
            deadline = std::chrono::steady_clock::now() + lingerTime;
        }
    }

    static void relax() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__)
        asm volatile("yield");
#endif
    }

    template <typename Task>
    void postInOrder(Task task) {
        std::lock_guard lock(inboxMutex);
        postOpenBucket();
        openBucket.reset();
        ++postedInOrder;
        queue->post(std::move(task));
    }

    template <typename Task>
    void postAfterInOrder(Duration delay, Task task) {
        std::lock_guard lock(inboxMutex);
        postOpenBucket();
        openBucket.reset();
        ++postedInOrder;
        queue->postAfter(delay, std::move(task));
    }

    // Receive-queue state, under runMutex.
    uint64_t connection = 0;
    std::optional<int32_t> source;
    SysExStreamParser parser;
    Bytes delivery;
    uint64_t processed = 0;
    uint64_t appliedCut = 0;
    bool cutPending = false;
    uint64_t cutPosition = 0;
    // The tail of a message already discarded may still arrive: its lone F7 is not a new issue.
    bool resynchronising = false;
    std::size_t malformedCount = 0;
    // What a drain waits for: SysEx still arriving. A clock or active sensing never pauses, so
    // it does not count, nor does other traffic between messages.
    bool hasSysExArrival = false;
    Scheduler::TimePoint lastSysExArrival{};
    std::map<uint64_t, Drain> drains;
    uint64_t nextDrainID = 1;

    void beginConnection(uint64_t id, std::optional<int32_t> newSource) {
        connection = id;
        source = newSource;
        parser = SysExStreamParser(maximumMessageBytes);
        processed = 0;
        appliedCut = 0;
        cutPending = false;
        resynchronising = false;
        malformedCount = 0;
    }

    void refreshCut() {
        std::lock_guard lock(cutMutex);
        // A cancel made after this input was left drops all that is left of its stream.
        const uint64_t requested = requestedCutConnection > connection ? UINT64_MAX
                                   : requestedCutConnection == connection ? requestedCutPosition
                                                                           : 0;
        if (requested > appliedCut) {
            cutPending = true;
            cutPosition = requested;
        }
    }

    void performCut() {
        resynchronising = resynchronising || parser.isInsideMessage();
        parser.reset();
        appliedCut = cutPosition;
        cutPending = false;
    }

    void applyReachedCut() {
        refreshCut();
        if (cutPending && cutPosition <= processed) performCut();
    }

    // Takes what the parser frames as it frames it. A message is handed to the handler from a
    // buffer that is reused, so delivering one costs a copy and no allocation.
    struct Framer final : SysExStreamParser::Sink {
        explicit Framer(State& state) : state(state) {}

        void message(ByteView message) override {
            if (!deliver) return;
            state.resynchronising = false;
            if (!state.handlers.message) return;
            state.delivery.assign(message.data(), message.data() + message.size());
            state.handlers.message(state.delivery);
        }
        void ownedMessage(Bytes&& message) override {
            if (!deliver) return;
            state.resynchronising = false;
            if (state.handlers.message) state.handlers.message(message);
        }
        void realTime(uint8_t, std::size_t) override {}
        void error(SysExParseError error, std::size_t discardedByteCount) override {
            if (!deliver) return;
            if (state.resynchronising && error.is<SysExParseError::EndWithoutStart>()) {
                state.resynchronising = false;
                return;
            }
            ++state.malformedCount;
            if (state.handlers.issue) {
                state.handlers.issue(MIDITransportIssue::malformedReceive(state.source, error.message(),
                                                                          discardedByteCount, state.malformedCount));
            }
        }

        State& state;
        bool deliver = true;
    };

    void frame(ByteView bytes, bool deliver) {
        Framer framer(*this);
        framer.deliver = deliver;
        parser.feed(bytes, framer);
        if (resynchronising && parser.isInsideMessage()) resynchronising = false;
    }

    void process(uint64_t batchConnection, std::optional<int32_t> batchSource, const MIDIRawReceiveBatch& batch) {
        std::lock_guard run(runMutex);
        if (!alive || batchConnection < connection) return;
        if (batchConnection > connection) beginConnection(batchConnection, batchSource);

        if (handlers.rawBatch) handlers.rawBatch(batch);
        // Lost bytes may have been a message's.
        if (carriesSysEx(batch.bytes, parser.isInsideMessage()) || batch.droppedByteCountAfter > 0) {
            hasSysExArrival = true;
            lastSysExArrival = queue->now();
        }

        refreshCut();
        ByteView rest(batch.bytes);
        uint64_t offset = batch.streamOffset;
        while (!rest.empty()) {
            if (cutPending && cutPosition <= offset) performCut();
            if (cutPending) {
                // Bytes from before a cancel still go through the framer, so that it knows
                // whether the cut falls inside a message, but nothing of them is delivered.
                const auto count = static_cast<std::size_t>(std::min<uint64_t>(rest.size(), cutPosition - offset));
                frame(rest.first(count), false);
                rest = rest.subspan(count);
                offset += count;
                continue;
            }
            frame(rest, true);
            offset += rest.size();
            rest = {};
        }
        processed = offset;
        if (cutPending && cutPosition <= processed) performCut();

        if (batch.droppedByteCountAfter > 0) {
            const std::size_t cutMessage = parser.isInsideMessage() ? parser.pendingMessageByteCount() : 0;
            parser.reset();
            resynchronising = true;
            if (!cutPending && handlers.issue) {
                handlers.issue(MIDITransportIssue::receiveTruncated(
                    static_cast<std::size_t>(batch.droppedByteCountAfter) + cutMessage));
            }
        }
    }

    void applyCancellation() {
        std::lock_guard run(runMutex);
        if (alive) applyReachedCut();
    }

    void beginDrain(Duration quietFor, Duration timeout, std::function<void(MIDIReceiveDrainResult)> completion) {
        std::lock_guard run(runMutex);
        if (!alive) return;
        const auto now = queue->now();
        const uint64_t id = nextDrainID++;
        drains.emplace(id, Drain{now, now + std::max(timeout, Duration::zero()), std::max(quietFor, Duration::zero()),
                                 std::move(completion)});
        evaluateDrain(id);
    }

    void evaluateDrain(uint64_t id) {
        auto found = drains.find(id);
        if (found == drains.end()) return;
        const Drain& drain = found->second;
        const auto now = queue->now();
        const auto quietSince = hasSysExArrival ? std::max(drain.start, lastSysExArrival) : drain.start;
        if (now - quietSince >= drain.quietFor) return finishDrain(found, true);
        if (now >= drain.deadline) return finishDrain(found, false);
        const auto next = std::min(quietSince + drain.quietFor, drain.deadline);
        postAfterInOrder(next - now, [weak = weakSelf, id] {
            if (auto self = weak.lock()) {
                std::lock_guard run(self->runMutex);
                if (self->alive) self->evaluateDrain(id);
            }
        });
    }

    void finishDrain(std::map<uint64_t, Drain>::iterator found, bool quiet) {
        auto completion = std::move(found->second.completion);
        drains.erase(found);
        applyReachedCut();
        std::size_t incomplete = 0;
        if (parser.isInsideMessage()) {
            incomplete = parser.pendingMessageByteCount();
            parser.reset();
            resynchronising = true;
        }
        if (completion) completion(MIDIReceiveDrainResult{quiet, incomplete});
    }

    std::weak_ptr<State> weakSelf;
};

struct MIDIReceivePath::Connection {
    uint64_t id = 0;
    int32_t source = 0;
    std::weak_ptr<State> state;
    std::shared_ptr<Scheduler> queue;
    K7MIDIIngress* ingress = nullptr;

    ~Connection() { K7MIDIIngressDestroy(ingress); }

    // The batch's bytes are still in the ring: this is their one copy on the way to the queue.
    static void handleBatch(void* context, const K7MIDIIngressBatch* batch) {
        auto* connection = static_cast<Connection*>(context);
        auto state = connection->state.lock();
        if (!state) return;
        state->enqueue(State::PendingBatch{
            connection->id, connection->source,
            MIDIRawReceiveBatch{Bytes(batch->bytes, batch->bytes + batch->byteCount), connection->source,
                                batch->streamOffset, batch->droppedByteCountAfter, batch->timestampNanoseconds}});
    }

    static void handleSettled(void* context) {
        if (auto state = static_cast<Connection*>(context)->state.lock()) state->settle();
    }

    static uint64_t clock(void* context) {
        auto* connection = static_cast<Connection*>(context);
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(connection->queue->now().time_since_epoch()).count());
    }
};

MIDIReceivePath::MIDIReceivePath(std::shared_ptr<Scheduler> receiveQueue, Handlers handlers,
                                 MIDIReceivePathConfiguration configuration)
    : queue_(std::move(receiveQueue)),
      configuration_(configuration),
      state_(std::make_shared<State>(queue_, std::move(handlers), configuration.maximumMessageBytes)),
      processBarrier_(processBarrierAvailable()) {
    state_->weakSelf = state_;
    // Without a worker, batches come from the thread that runs the queue: there is nothing to
    // wait for.
    state_->lingers = configuration.usesWorkerThread;
}

MIDIReceivePath::~MIDIReceivePath() {
    {
        std::lock_guard lock(controlMutex_);
        retireLiveConnection();
        connection_.reset();
    }
    std::lock_guard run(state_->runMutex);
    state_->alive = false;
    state_->drains.clear();
}

template <typename Use>
auto MIDIReceivePath::produce(Use use) {
    // Odd while inside. Only one producer at a time, so plain stores count it up.
    const uint64_t inside = producerSequence_.load(std::memory_order_relaxed) + 1;
    Connection* connection = nullptr;
    if (processBarrier_) {
        producerSequence_.store(inside, std::memory_order_relaxed);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        connection = live_.load(std::memory_order_acquire);
    } else {
        producerSequence_.exchange(inside, std::memory_order_seq_cst);
        connection = live_.load(std::memory_order_seq_cst);
    }
    struct Leave {
        std::atomic<uint64_t>& sequence;
        uint64_t outside;
        ~Leave() { sequence.store(outside, std::memory_order_release); }
    } leave{producerSequence_, inside + 1};
    return use(connection);
}

void MIDIReceivePath::retireLiveConnection() {
    if (!live_.load(std::memory_order_relaxed)) return;
    bool barrier = true;
    if (processBarrier_) {
        live_.store(nullptr, std::memory_order_relaxed);
        barrier = runProcessBarrier();
    } else {
        live_.exchange(nullptr, std::memory_order_seq_cst);
    }
    // A producer that read the connection before it was withdrawn is inside now, and is seen;
    // later ones find none. Were the barrier refused after all, an announcement could still be
    // on its way: give it time it cannot possibly need.
    if (!barrier) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const uint64_t seen = producerSequence_.load(std::memory_order_seq_cst);
    if (seen % 2 == 0) return;
    while (producerSequence_.load(std::memory_order_acquire) == seen) std::this_thread::yield();
}

void MIDIReceivePath::connect(int32_t sourceEndpointID) {
    std::lock_guard lock(controlMutex_);
    retireLiveConnection();
    connection_.reset();
    auto connection = std::make_unique<Connection>();
    connection->id = nextConnectionID_++;
    connection->source = sourceEndpointID;
    connection->state = state_;
    connection->queue = queue_;
    K7MIDIIngressConfiguration ingress{};
    ingress.capacity = configuration_.ringCapacity;
    ingress.handler = &Connection::handleBatch;
    ingress.handlerContext = connection.get();
    ingress.settled = &Connection::handleSettled;
    ingress.clock = &Connection::clock;
    ingress.clockContext = connection.get();
    connection->ingress = K7MIDIIngressCreate(&ingress);
    if (!connection->ingress) throw std::bad_alloc();
    if (configuration_.usesWorkerThread) {
        if (const int status = K7MIDIIngressStartWorker(connection->ingress); status != 0) {
            throw std::system_error(status, std::generic_category(), "K7MIDIIngressStartWorker");
        }
    }
    connection_ = std::move(connection);
    live_.store(connection_.get(), std::memory_order_release);
}

void MIDIReceivePath::disconnect() {
    std::unique_ptr<Connection> closed;
    {
        std::lock_guard lock(controlMutex_);
        retireLiveConnection();
        closed = std::move(connection_);
    }
    if (!closed) return;
    const auto metrics = K7MIDIIngressGetMetrics(closed->ingress);
    closed.reset();  // joins the worker: every batch of the stream is queued by now
    if (!state_->handlers.diagnostic) return;
    MIDITransportDiagnosticEvent event{"midi.receive.inputClosed",
                                       {{"bytesIn", std::to_string(metrics.bytesIn)},
                                        {"bytesDropped", std::to_string(metrics.bytesDropped)},
                                        {"highWaterMark", std::to_string(metrics.highWaterMark)},
                                        {"capacity", std::to_string(metrics.capacity)}}};
    state_->postInOrder([weak = std::weak_ptr<State>(state_), event = std::move(event)] {
        if (auto state = weak.lock()) {
            std::lock_guard run(state->runMutex);
            if (state->alive) state->handlers.diagnostic(event);
        }
    });
}

std::optional<int32_t> MIDIReceivePath::connectedSource() const {
    std::lock_guard lock(controlMutex_);
    if (!connection_) return std::nullopt;
    return connection_->source;
}

bool MIDIReceivePath::write(ByteView bytes) {
    return produce([&](Connection* connection) {
        return connection && K7MIDIIngressWrite(connection->ingress, bytes.data(), bytes.size());
    });
}

void MIDIReceivePath::markLoss(std::size_t byteCount) {
    produce([&](Connection* connection) {
        if (connection) K7MIDIIngressMarkLoss(connection->ingress, byteCount);
    });
}

void MIDIReceivePath::pump() {
    produce([](Connection* connection) {
        if (connection) K7MIDIIngressPump(connection->ingress);
    });
}

void MIDIReceivePath::cancelPending() {
    {
        std::lock_guard lock(controlMutex_);
        std::lock_guard cut(state_->cutMutex);
        if (connection_) {
            state_->requestedCutConnection = connection_->id;
            state_->requestedCutPosition = K7MIDIIngressStreamPosition(connection_->ingress);
        } else {
            // Batches of a closed input may still wait on the queue: drop them all.
            state_->requestedCutConnection = nextConnectionID_ - 1;
            state_->requestedCutPosition = UINT64_MAX;
        }
    }
    state_->postInOrder([weak = std::weak_ptr<State>(state_)] {
        if (auto state = weak.lock()) state->applyCancellation();
    });
}

void MIDIReceivePath::drain(Duration quietFor, Duration timeout,
                            std::function<void(MIDIReceiveDrainResult)> completion) {
    state_->postInOrder([weak = std::weak_ptr<State>(state_), quietFor, timeout,
                         completion = std::move(completion)]() mutable {
        if (auto state = weak.lock()) state->beginDrain(quietFor, timeout, std::move(completion));
    });
}

K7MIDIIngressMetrics MIDIReceivePath::metrics() const {
    std::lock_guard lock(controlMutex_);
    if (!connection_) return K7MIDIIngressMetrics{};
    return K7MIDIIngressGetMetrics(connection_->ingress);
}

}  // namespace k7
