#include "ui/Appearance.h"

#include <QApplication>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>

namespace orvane::ui {
namespace {

// Fusion, plus: a click on a slider's groove jumps there (a musician aims at a place in the
// song, not at a page step).
class OrvaneStyle final : public QProxyStyle {
public:
    OrvaneStyle() : QProxyStyle(QStyleFactory::create("Fusion")) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Slider_AbsoluteSetButtons) return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

const QColor windowBackground(0xf2, 0xf2, 0xf4);
const QColor labelColor(0x1d, 0x1d, 0x1f);
const QColor accentColor(0x1f, 0x6f, 0xeb);

}  // namespace

void applyLightAppearance(QApplication& application) {
    QApplication::setStyle(new OrvaneStyle);
    QPalette palette;
    const QColor disabledText(0xa6, 0xa6, 0xab);
    palette.setColor(QPalette::Window, windowBackground);
    palette.setColor(QPalette::WindowText, labelColor);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, QColor(0xf5, 0xf7, 0xfa));
    palette.setColor(QPalette::Text, labelColor);
    palette.setColor(QPalette::PlaceholderText, QColor(0x9a, 0x9a, 0xa0));
    palette.setColor(QPalette::Button, QColor(0xfb, 0xfb, 0xfc));
    palette.setColor(QPalette::ButtonText, labelColor);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, accentColor);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, accentColor);
    palette.setColor(QPalette::LinkVisited, accentColor.darker(120));
    palette.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xf4));
    palette.setColor(QPalette::ToolTipText, labelColor);
    palette.setColor(QPalette::Light, Qt::white);
    palette.setColor(QPalette::Midlight, QColor(0xe6, 0xe6, 0xea));
    palette.setColor(QPalette::Mid, QColor(0xc4, 0xc4, 0xca));
    palette.setColor(QPalette::Dark, QColor(0xa0, 0xa0, 0xa6));
    palette.setColor(QPalette::Shadow, QColor(0x70, 0x70, 0x76));
    for (const auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, disabledText);
    }
    palette.setColor(QPalette::Disabled, QPalette::Base, QColor(0xf7, 0xf7, 0xf8));
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0xb8, 0xc8, 0xe0));
    QApplication::setPalette(palette);
    application.setFont(uiFont(13));
}

QColor color(app::ColorRole role) {
    using app::ColorRole;
    switch (role) {
        case ColorRole::label: return labelColor;
        case ColorRole::secondaryLabel: return {0x6e, 0x6e, 0x73};
        case ColorRole::tertiaryLabel: return {0xa1, 0xa1, 0xa6};
        case ColorRole::accent: return accentColor;
        // Text colours dark enough to read on the light background.
        case ColorRole::red: return {0xd7, 0x26, 0x1e};
        case ColorRole::orange: return {0xc8, 0x6a, 0x00};
        case ColorRole::blue: return {0x1f, 0x6f, 0xeb};
        case ColorRole::green: return {0x1e, 0x8e, 0x3e};
        case ColorRole::gray: return {0x8e, 0x8e, 0x93};
        case ColorRole::separator: return {0xd4, 0xd4, 0xd8};
        case ColorRole::controlBackground: return Qt::white;
        case ColorRole::textBackground: return Qt::white;
        case ColorRole::black: return Qt::black;
    }
    return labelColor;
}

QColor color(const app::RGBA& rgba) {
    return QColor::fromRgbF(static_cast<float>(rgba.red), static_cast<float>(rgba.green), static_cast<float>(rgba.blue),
                            static_cast<float>(rgba.alpha));
}

QColor trackColor(int paletteIndex) {
    const auto count = static_cast<int>(app::trackPalette.size());
    const int index = ((paletteIndex % count) + count) % count;
    return color(app::trackPalette[static_cast<std::size_t>(index)]);
}

QFont uiFont(int pixelSize, bool bold) {
    QFont font(QStringList{"DejaVu Sans", "Noto Color Emoji", "Symbola"});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFont monoFont(int pixelSize) {
    QFont font(QStringList{"DejaVu Sans Mono", "Symbola"});
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(pixelSize);
    return font;
}

QFont symbolFont(int pixelSize) {
    QFont font(QStringList{"DejaVu Sans", "Symbola"});
    font.setPixelSize(pixelSize);
    return font;
}

}  // namespace orvane::ui
