#pragma once

#include <QUuid>

namespace k7::test {

// A fixed id, so that expected values can be written out.
inline QUuid uuid(unsigned n) { return QUuid(n, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0); }

}  // namespace k7::test
