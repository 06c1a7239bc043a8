#pragma once

#include <QMimeData>
#include <filesystem>
#include <vector>

namespace k7 {

// The local files of a drop, in the order they were dragged; empty when there are none.
inline std::vector<std::filesystem::path> droppedFiles(const QMimeData* mime) {
    std::vector<std::filesystem::path> files;
    if (!mime || !mime->hasUrls()) return files;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) files.emplace_back(url.toLocalFile().toStdString());
    }
    return files;
}

}  // namespace k7
