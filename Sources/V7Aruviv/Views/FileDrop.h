#pragma once

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <filesystem>
#include <vector>

namespace k7 {

// A local file URL's path as the bytes its percent-encoding gives: a name that is not UTF-8 stays
// the file's name, where QUrl::toLocalFile would replace its bytes.
inline std::filesystem::path localFilePath(const QUrl& url) {
    QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (!url.host().isEmpty()) path.prepend("//" + url.host(QUrl::FullyEncoded).toLatin1());
    return path.toStdString();
}

// The local files of a drop, in the order they were dragged; empty when there are none.
inline std::vector<std::filesystem::path> droppedFiles(const QMimeData* mime) {
    std::vector<std::filesystem::path> files;
    if (!mime || !mime->hasUrls()) return files;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) files.push_back(localFilePath(url));
    }
    return files;
}

// Passes drags of files over a text field on to the widgets around it, which import the files:
// file managers add the paths as text, which the field would otherwise insert.
class FileDragPassThrough final : public QObject {
public:
    explicit FileDragPassThrough(QWidget* field) : QObject(field) { field->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::DragEnter && !droppedFiles(static_cast<QDropEvent*>(event)->mimeData()).empty()) {
            event->ignore();  // the drag's next stop is the field's parent
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace k7
