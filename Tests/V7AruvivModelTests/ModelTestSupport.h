#pragma once

// Small helpers shared by the model tests.

#include <QUuid>
#include <cctype>
#include <string>

namespace k7::test {

// Parameterised test names from a case's `name` field.
struct CaseName {
    template <typename Info>
    std::string operator()(const Info& info) const {
        std::string name = info.param.name;
        for (auto& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    }
};

// A fixed id, so that expected values can be written out.
inline QUuid uuid(unsigned n) { return QUuid(n, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0); }

}  // namespace k7::test
