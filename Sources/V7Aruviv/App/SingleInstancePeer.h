#pragma once

#include <QtGlobal>

namespace k7 {

// Whether the process at the other end of the connected local socket `descriptor` runs as
// `userId`, as the kernel saw it when the connection was made. False when it cannot tell.
bool singleInstancePeerIsUser(qintptr descriptor, unsigned long userId);

// This process's user id, the only one either end of the single-instance channel talks to.
unsigned long singleInstanceUserId();

}  // namespace k7
