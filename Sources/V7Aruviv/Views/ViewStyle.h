#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>

#include "V7Aruviv/Views/FileListPresenter.h"

namespace k7 {

// The named colours and fonts of the views, taken from the palette where it has them.
QColor toneColor(StateTone tone, const QPalette& palette);
QColor secondaryTextColor(const QPalette& palette);
QColor tertiaryTextColor(const QPalette& palette);
QColor warningColor();
// The smaller font of captions and of the status block.
QFont captionFont(const QFont& base);
void setCaptionFont(QWidget* widget);
void setTextColor(QWidget* widget, const QColor& color);

}  // namespace k7
