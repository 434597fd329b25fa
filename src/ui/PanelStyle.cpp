#include "ui/PanelStyle.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace orvane::ui::panel {

QColor color(app::ColorRole role) {
    const QPalette palette = QApplication::palette();
    switch (role) {
        case app::ColorRole::label: return palette.color(QPalette::WindowText);
        case app::ColorRole::secondaryLabel: return QColor(0x5c, 0x5c, 0x62);
        case app::ColorRole::tertiaryLabel: return QColor(0x8e, 0x8e, 0x93);
        case app::ColorRole::accent: return palette.color(QPalette::Highlight);
        case app::ColorRole::red: return QColor(0xd7, 0x2c, 0x2c);
        case app::ColorRole::orange: return QColor(0xc8, 0x6a, 0x00);
        case app::ColorRole::blue: return QColor(0x1f, 0x6f, 0xd6);
        case app::ColorRole::green: return QColor(0x23, 0x8a, 0x3c);
        case app::ColorRole::gray: return QColor(0x8e, 0x8e, 0x93);
        case app::ColorRole::separator: return QColor(0xc6, 0xc6, 0xc8);
        case app::ColorRole::controlBackground: return QColor(0xfb, 0xfb, 0xfb);
        case app::ColorRole::textBackground: return palette.color(QPalette::Base);
        case app::ColorRole::black: return QColor(0x1c, 0x1c, 0x1e);
    }
    return palette.color(QPalette::WindowText);
}

QColor color(const app::RGBA& rgba) {
    return QColor::fromRgbF(static_cast<float>(std::clamp(rgba.red, 0.0, 1.0)),
                            static_cast<float>(std::clamp(rgba.green, 0.0, 1.0)),
                            static_cast<float>(std::clamp(rgba.blue, 0.0, 1.0)),
                            static_cast<float>(std::clamp(rgba.alpha, 0.0, 1.0)));
}

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(std::clamp(alpha, 0.0, 1.0) * color.alphaF()));
    return color;
}

QFont font(int pixelSize, QFont::Weight weight) {
    QFont result = QApplication::font();
    result.setPixelSize(pixelSize);
    result.setWeight(weight);
    return result;
}

QFont fixedFont(int pixelSize, QFont::Weight weight) {
    QFont result = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    result.setPixelSize(pixelSize);
    result.setWeight(weight);
    return result;
}

void centreOver(QWidget* window, QWidget* parent) {
    const QWidget* anchor = parent != nullptr ? parent->window() : nullptr;
    QRect area;
    if (anchor != nullptr && anchor->isVisible()) {
        area = anchor->frameGeometry();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    } else {
        return;
    }
    const QSize size = window->frameGeometry().size().expandedTo(window->size());
    window->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

}  // namespace orvane::ui::panel
