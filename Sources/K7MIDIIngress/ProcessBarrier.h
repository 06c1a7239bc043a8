#pragma once

// For handshakes between a side that runs all the time and one that runs rarely (a producer that
// writes, and a worker going to sleep or an owner replacing what the producer uses). Each side
// stores, then loads what the other stored, and needs a full barrier in between, or both may miss
// the other. With a process barrier the rare side pays for both: it makes every running thread of
// the process pass a full barrier, and the frequent side only keeps the compiler from moving its
// load above its store (std::atomic_signal_fence).

namespace k7 {

// Whether the system has the barrier (Linux membarrier); asked once, registering the process.
// Without it, both sides of a handshake must read-modify-write instead.
bool processBarrierAvailable();

// Runs the barrier; false when the system refused it after all.
bool runProcessBarrier();

}  // namespace k7
