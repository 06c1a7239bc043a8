#pragma once

/*
 * The lossless receive ingress: a single-producer single-consumer byte ring between the thread
 * that reads MIDI input and the transport's receive queue.
 *
 * The producer only copies bytes in with atomic operations and never blocks. When a chunk does
 * not fit, the whole chunk is dropped and the ring stops accepting bytes until the consumer has
 * taken everything written before the loss; the consumer then receives one batch flagged with
 * the dropped count. A loss is therefore always a single gap at a known stream position, so the
 * receive queue can discard exactly the message it cut instead of gluing two halves together.
 *
 * Threads: one producer and one consumer at a time. The consumer is either the worker thread
 * (K7MIDIIngressStartWorker) or a caller of K7MIDIIngressPump, never both.
 */

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct K7MIDIIngress K7MIDIIngress;

typedef struct K7MIDIIngressBatch {
    const uint8_t* bytes;            /* valid only during the handler call, often in the ring itself */
    size_t byteCount;
    uint64_t streamOffset;           /* stream position of bytes[0] (bytes accepted before it) */
    uint64_t droppedByteCountAfter;  /* bytes lost right after this batch; 0 when none */
    uint64_t timestampNanoseconds;   /* when the consumer took the batch, from the ingress clock */
} K7MIDIIngressBatch;

typedef void (*K7MIDIIngressBatchHandler)(void* context, const K7MIDIIngressBatch* batch);
/* Called with the handler's context once the ring has run dry after batches were delivered: by
 * the worker after a few microseconds without input, by a pump at its end. A consumer that
 * gathers batches hands them on here. */
typedef void (*K7MIDIIngressSettledHandler)(void* context);
typedef uint64_t (*K7MIDIIngressClock)(void* context);

typedef struct K7MIDIIngressConfiguration {
    size_t capacity;          /* rounded up to a power of two, at least 16 */
    size_t maximumBatchBytes; /* 0 = 65536 */
    K7MIDIIngressBatchHandler handler;
    void* handlerContext;
    K7MIDIIngressClock clock; /* NULL = K7MIDIIngressMonotonicNanoseconds */
    void* clockContext;
    K7MIDIIngressSettledHandler settled; /* optional */
} K7MIDIIngressConfiguration;

typedef struct K7MIDIIngressMetrics {
    uint64_t bytesIn;        /* accepted into the ring */
    uint64_t bytesDropped;   /* refused because the ring was full or a loss was pending */
    uint64_t highWaterMark;  /* most bytes ever waiting in the ring */
    uint64_t batchesDelivered;
    uint64_t capacity;
} K7MIDIIngressMetrics;

/* NULL when the configuration has no handler or memory is short. */
K7MIDIIngress* K7MIDIIngressCreate(const K7MIDIIngressConfiguration* configuration);
/* Stops and joins the worker if it runs, then frees the ingress. */
void K7MIDIIngressDestroy(K7MIDIIngress* ingress);

/* Starts the worker thread; 0 on success, else an errno value. */
int K7MIDIIngressStartWorker(K7MIDIIngress* ingress);
/* The worker thread's body: delivers batches until the ingress is stopped. */
void* K7IngressWorkerMain(void* ingress);
/* Asks the worker to stop after delivering what is already in the ring, and joins it. */
void K7MIDIIngressStopWorker(K7MIDIIngress* ingress);

/* Producer: copies the chunk in whole and wakes the consumer; false when it was dropped. */
bool K7MIDIIngressWrite(K7MIDIIngress* ingress, const uint8_t* bytes, size_t count);
/* Producer: records that the system lost `count` input bytes (at least 1) at this point of the
 * stream, as if the ring had refused them. */
void K7MIDIIngressMarkLoss(K7MIDIIngress* ingress, size_t count);
/* Consumer without a worker: delivers everything waiting on the calling thread; returns the bytes delivered. */
size_t K7MIDIIngressPump(K7MIDIIngress* ingress);

/* Bytes accepted so far: the stream position the next accepted byte will have. */
uint64_t K7MIDIIngressStreamPosition(const K7MIDIIngress* ingress);
K7MIDIIngressMetrics K7MIDIIngressGetMetrics(const K7MIDIIngress* ingress);

/* CLOCK_MONOTONIC in nanoseconds. */
uint64_t K7MIDIIngressMonotonicNanoseconds(void);

#ifdef __cplusplus
}
#endif
