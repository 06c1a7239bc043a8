#pragma once

#include <QWidget>

class QTimer;

namespace k7 {

// A small indeterminate progress indicator: an arc that turns while the widget is shown.
class TurboSpinner final : public QWidget {
    Q_OBJECT

public:
    explicit TurboSpinner(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {13, 13}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer* timer_;
    int angle_ = 0;
};

}  // namespace k7
