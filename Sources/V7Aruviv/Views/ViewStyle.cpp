#include "V7Aruviv/Views/ViewStyle.h"

namespace k7 {

namespace {
bool isDark(const QPalette& palette) { return palette.color(QPalette::Base).lightness() < 128; }
}  // namespace

QColor secondaryTextColor(const QPalette& palette) {
    QColor text = palette.color(QPalette::Text);
    text.setAlphaF(0.62f);
    return text;
}

QColor tertiaryTextColor(const QPalette& palette) {
    QColor text = palette.color(QPalette::Text);
    text.setAlphaF(0.42f);
    return text;
}

QColor warningColor() { return QColor(0xd9, 0x6a, 0x00); }

QColor toneColor(StateTone tone, const QPalette& palette) {
    // Darker shades on light backgrounds, lighter ones on dark, so every state stays readable.
    const bool dark = isDark(palette);
    switch (tone) {
    case StateTone::secondary: return secondaryTextColor(palette);
    case StateTone::blue: return dark ? QColor(0x6c, 0xb0, 0xff) : QColor(0x1a, 0x62, 0xc7);
    case StateTone::green: return dark ? QColor(0x6a, 0xd3, 0x7a) : QColor(0x1f, 0x82, 0x35);
    case StateTone::orange: return dark ? QColor(0xff, 0xa9, 0x4d) : warningColor();
    case StateTone::red: return dark ? QColor(0xff, 0x7b, 0x72) : QColor(0xc6, 0x28, 0x28);
    }
    return palette.color(QPalette::Text);
}

QFont captionFont(const QFont& base) {
    QFont font = base;
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * 0.9);
    } else if (font.pixelSize() > 0) {
        font.setPixelSize(std::max(9, font.pixelSize() * 9 / 10));
    }
    return font;
}

void setCaptionFont(QWidget* widget) { widget->setFont(captionFont(widget->font())); }

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

}  // namespace k7
