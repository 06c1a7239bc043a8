#include "V7Aruviv/Views/StatusBlock.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QStyle>
#include <QVBoxLayout>

#include "V7Aruviv/Views/QtText.h"
#include "V7Aruviv/Views/ViewStyle.h"

namespace k7 {

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, QWidget* parent) : QWidget(parent), mode_(mode) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text_), metrics.height()};
}

QSize ElidedLabel::minimumSizeHint() const { return {0, QFontMetrics(font()).height()}; }

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QString shown = fontMetrics().elidedText(text_, mode_, width());
    painter.drawText(rect(), Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

StatusBlock::StatusBlock(QWidget* parent)
    : QWidget(parent),
      planLine_(new QWidget),
      planIcon_(new QLabel),
      planSummary_(new ElidedLabel(Qt::ElideMiddle)),
      statusText_(new ElidedLabel(Qt::ElideRight)),
      statusDetail_(new QLabel),
      progressBar_(new QProgressBar) {
    setFont(captionFont(font()));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);

    auto* plan = new QHBoxLayout(planLine_);
    plan->setContentsMargins(0, 0, 0, 0);
    plan->setSpacing(6);
    const int iconSize = QFontMetrics(font()).height();
    planIcon_->setFixedSize(iconSize, iconSize);
    plan->addWidget(planIcon_);
    plan->addWidget(planSummary_, 1);
    plan->addSpacing(8);
    planLine_->setAccessibleName(QStringLiteral("Transfer plan"));
    column->addWidget(planLine_);

    auto* status = new QHBoxLayout;
    status->setSpacing(10);
    setTextColor(statusText_, secondaryTextColor(palette()));
    setTextColor(statusDetail_, secondaryTextColor(palette()));
    statusDetail_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    status->addWidget(statusText_, 1);
    status->addSpacing(8);
    status->addWidget(statusDetail_, 0);
    column->addLayout(status);

    progressBar_->setTextVisible(false);
    progressBar_->setMaximumHeight(10);
    column->addWidget(progressBar_);
}

void StatusBlock::apply(const ContentPresentation& p) {
    planLine_->setVisible(p.planLine.has_value());
    if (p.planLine) {
        if (!planStyled_ || planWarning_ != p.planLine->warning) {
            planStyled_ = true;
            planWarning_ = p.planLine->warning;
            const int size = planIcon_->width();
            const auto symbol = planWarning_ ? QStyle::SP_MessageBoxWarning : QStyle::SP_ArrowRight;
            planIcon_->setPixmap(style()->standardIcon(symbol).pixmap(size, size, planWarning_ ? QIcon::Normal : QIcon::Disabled));
            setTextColor(planSummary_, planWarning_ ? palette().color(QPalette::WindowText) : secondaryTextColor(palette()));
        }
        planSummary_->setText(qt(p.planLine->compactSummary));
        planLine_->setToolTip(qt(p.planLine->fullSummary));
        planLine_->setAccessibleDescription(qt(p.planLine->fullSummary));
    }

    statusText_->setText(qt(p.statusText));
    statusText_->setToolTip(qt(p.statusText));
    if (statusDetail_->text() != qt(p.statusDetail)) statusDetail_->setText(qt(p.statusDetail));

    progressBar_->setVisible(p.progress.has_value());
    if (p.progress) {
        if (p.progress->determinate) {
            progressBar_->setRange(0, 1000);
            progressBar_->setValue(static_cast<int>(p.progress->value * 1000));
        } else {
            progressBar_->setRange(0, 0);
        }
        progressBar_->setAccessibleName(qt(p.progress->accessibleName));
        progressBar_->setAccessibleDescription(qt(p.progress->accessibleValue));
    }
}

}  // namespace k7
