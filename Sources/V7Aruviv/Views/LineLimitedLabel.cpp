#include "V7Aruviv/Views/LineLimitedLabel.h"

#include <QPainter>
#include <QTextLayout>

namespace k7 {

LineLimitedLabel::LineLimitedLabel(int maximumLines, QWidget* parent) : QWidget(parent), maximumLines_(maximumLines) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void LineLimitedLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    setAccessibleName(text);
    setToolTip(layoutFor(width()).truncated ? text : QString());
    updateGeometry();
    update();
}

LineLimitedLabel::Layout LineLimitedLabel::layoutFor(int width) const {
    Layout result;
    if (width <= 0) return result;
    const QFontMetrics metrics(font());
    const QStringList paragraphs = text_.split(QLatin1Char('\n'));
    for (qsizetype p = 0; p < paragraphs.size(); ++p) {
        QTextLayout layout(paragraphs[p], font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            if (result.lines.size() == maximumLines_) {
                result.truncated = true;
                break;
            }
            result.lines << paragraphs[p].mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
        if (result.truncated) break;
        if (paragraphs[p].isEmpty() && result.lines.size() < maximumLines_) result.lines << QString();
        if (result.lines.size() == maximumLines_ && p + 1 < paragraphs.size()) {
            result.truncated = true;
            break;
        }
    }
    if (result.truncated && !result.lines.isEmpty()) {
        QString& last = result.lines.last();
        const QChar ellipsis(0x2026);
        last = metrics.elidedText(last, Qt::ElideRight, width - metrics.horizontalAdvance(ellipsis));
        if (!last.endsWith(ellipsis)) last += ellipsis;
    }
    return result;
}

int LineLimitedLabel::heightForWidth(int width) const {
    const auto lines = std::max<qsizetype>(1, layoutFor(width).lines.size());
    return static_cast<int>(lines) * QFontMetrics(font()).lineSpacing();
}

QSize LineLimitedLabel::sizeHint() const {
    return {240, heightForWidth(std::max(width(), 240))};
}

QSize LineLimitedLabel::minimumSizeHint() const { return {80, QFontMetrics(font()).lineSpacing()}; }

void LineLimitedLabel::resizeEvent(QResizeEvent* event) {
    setToolTip(layoutFor(width()).truncated ? text_ : QString());
    QWidget::resizeEvent(event);
}

void LineLimitedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const int lineSpacing = QFontMetrics(font()).lineSpacing();
    int y = 0;
    for (const QString& line : layoutFor(width()).lines) {
        painter.drawText(QRect(0, y, width(), lineSpacing), Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine, line);
        y += lineSpacing;
    }
}

}  // namespace k7
