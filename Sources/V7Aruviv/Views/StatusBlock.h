#pragma once

#include <QWidget>

#include "V7Aruviv/Views/ContentPresenter.h"

class QLabel;
class QProgressBar;

namespace k7 {

class ElidedLabel;

// The lines under the file information: the transfer plan, the status with the totals or the
// send summary, and the progress bar when one applies.
class StatusBlock final : public QWidget {
    Q_OBJECT

public:
    explicit StatusBlock(QWidget* parent = nullptr);

    void apply(const ContentPresentation& presentation);

    QWidget* planLine() const { return planLine_; }
    ElidedLabel* planSummary() const { return planSummary_; }
    QLabel* planIcon() const { return planIcon_; }
    ElidedLabel* statusText() const { return statusText_; }
    QLabel* statusDetail() const { return statusDetail_; }
    QProgressBar* progressBar() const { return progressBar_; }
    bool planShowsWarning() const { return planWarning_; }

private:
    QWidget* planLine_;
    QLabel* planIcon_;
    ElidedLabel* planSummary_;
    ElidedLabel* statusText_;
    QLabel* statusDetail_;
    QProgressBar* progressBar_;
    bool planWarning_ = false;
    bool planStyled_ = false;
};

// One line of text, elided where it does not fit; the full text is the tooltip then.
class ElidedLabel final : public QWidget {
    Q_OBJECT

public:
    ElidedLabel(Qt::TextElideMode mode, QWidget* parent = nullptr);
    void setText(const QString& text);
    const QString& text() const { return text_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    Qt::TextElideMode mode_;
};

}  // namespace k7
