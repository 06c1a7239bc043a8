#include "V7Aruviv/Views/TurboSpinner.h"

#include <QPainter>
#include <QTimer>

namespace k7 {

TurboSpinner::TurboSpinner(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
    setFixedSize(13, 13);
    setAccessibleName(QStringLiteral("Waiting for a TM-1 Turbo response"));
    timer_->setInterval(80);
    connect(timer_, &QTimer::timeout, this, [this] {
        angle_ = (angle_ + 30) % 360;
        update();
    });
}

void TurboSpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    QColor track = palette().color(QPalette::WindowText);
    track.setAlphaF(0.18f);
    painter.setPen(QPen(track, 2));
    painter.drawEllipse(box);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(box, -angle_ * 16, 100 * 16);
}

void TurboSpinner::showEvent(QShowEvent* event) {
    timer_->start();
    QWidget::showEvent(event);
}

void TurboSpinner::hideEvent(QHideEvent* event) {
    timer_->stop();
    QWidget::hideEvent(event);
}

}  // namespace k7
