#pragma once

#include <string>

namespace k7 {

// The shortest decimal text that reads back as `value`, whatever the locale: 2 gives "2", 3.3
// gives "3.3", 0.5 gives "0.5". Not-a-number gives "nan", infinities "inf" and "-inf".
std::string decimalText(double value);

}  // namespace k7
