#pragma once
// Small helpers shared by the secondary windows: text from the application layer, its colour
// roles in the light palette, fonts sized in pixels (the layouts are measured in pixels), and
// placing a window over its parent.

#include <QColor>
#include <QFont>
#include <QString>

#include <string>
#include <string_view>

#include "app/ViewTypes.h"

class QWidget;

namespace orvane::ui::panel {

[[nodiscard]] inline QString qstr(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
[[nodiscard]] inline std::string utf8(const QString& text) { return text.toUtf8().toStdString(); }

[[nodiscard]] QColor color(app::ColorRole role);
[[nodiscard]] QColor color(const app::RGBA& rgba);
[[nodiscard]] QColor withAlpha(QColor color, double alpha);

// The application font at a pixel size, with a weight.
[[nodiscard]] QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);
// The fixed-pitch font at a pixel size (columns of numbers line up).
[[nodiscard]] QFont fixedFont(int pixelSize, QFont::Weight weight = QFont::Normal);

// Moves window so that its centre lies on the centre of parent's window (or of the screen).
void centreOver(QWidget* window, QWidget* parent);

}  // namespace orvane::ui::panel
