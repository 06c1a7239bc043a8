#include "V7Aruviv/App/SingleInstancePeer.h"

#include <sys/socket.h>
#include <unistd.h>

namespace k7 {

bool singleInstancePeerIsUser(qintptr descriptor, unsigned long userId) {
    if (descriptor < 0) return false;
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return false;
    return size == sizeof credentials && credentials.uid == userId;
}

unsigned long singleInstanceUserId() { return ::getuid(); }

}  // namespace k7
