#pragma once

#include <QString>
#include <string>

#include "Support/Model/TemporaryFolder.h"

namespace k7::testing {

// A folder of the test's own for sockets, in /tmp whatever TMPDIR says: a socket's whole path must
// fit its address, and a deep TMPDIR leaves no room for the names in it. A test skips, with
// `problem`, when it cannot be made.
class SocketFolder : public TemporaryFolder {
public:
    SocketFolder() : TemporaryFolder("/tmp") {}
    bool isValid() const { return !path().empty(); }
    QString filePath(const std::string& name) const { return QString::fromStdString((path() / name).string()); }
};

}  // namespace k7::testing
