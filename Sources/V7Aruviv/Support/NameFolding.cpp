#include "V7Aruviv/Support/NameFolding.h"

#include <QString>

namespace k7 {

namespace {
QString folded(std::string_view name) {
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))
        .normalized(QString::NormalizationForm_C)
        .toLower();
}
}  // namespace

std::string foldedName(std::string_view name) { return folded(name).toStdString(); }

bool foldedNameContains(std::string_view name, std::string_view part) { return folded(name).contains(folded(part)); }

}  // namespace k7
