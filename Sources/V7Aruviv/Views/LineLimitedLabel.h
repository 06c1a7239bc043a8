#pragma once

#include <QWidget>

namespace k7 {

// Word-wrapped text of at most `maximumLines` lines; the last shown line ends in "…" when the text
// goes on, and the whole text is the tooltip then.
class LineLimitedLabel final : public QWidget {
    Q_OBJECT

public:
    explicit LineLimitedLabel(int maximumLines, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return text_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Layout {
        QStringList lines;
        bool truncated = false;
    };
    Layout layoutFor(int width) const;

    QString text_;
    int maximumLines_;
};

}  // namespace k7
