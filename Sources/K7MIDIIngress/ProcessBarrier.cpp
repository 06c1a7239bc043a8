#include "K7MIDIIngress/ProcessBarrier.h"

#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace k7 {

bool processBarrierAvailable() {
    static const bool available = [] {
        const long commands = syscall(SYS_membarrier, MEMBARRIER_CMD_QUERY, 0, 0);
        return commands > 0 && (commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED) &&
               syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
    }();
    return available;
}

bool runProcessBarrier() {
    // The expedited barrier interrupts only the CPUs running this process; the global one, slower,
    // waits for every CPU to pass a barrier of its own.
    return syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0) == 0 ||
           syscall(SYS_membarrier, MEMBARRIER_CMD_GLOBAL, 0, 0) == 0;
}

}  // namespace k7
