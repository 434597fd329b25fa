#pragma once
// The window's look: Fusion with a light palette whatever the desktop theme, the colours the
// application layer names by role, and the fonts the controls use.

#include <QColor>
#include <QFont>

#include "app/ViewTypes.h"

class QApplication;

namespace orvane::ui {

// Fusion, the light palette and the application font; call once, before the first window.
void applyLightAppearance(QApplication& application);

[[nodiscard]] QColor color(app::ColorRole role);
[[nodiscard]] QColor color(const app::RGBA& rgba);
[[nodiscard]] QColor trackColor(int paletteIndex);

// Fonts by pixel size, so that the layout looks the same on every screen density setting.
[[nodiscard]] QFont uiFont(int pixelSize, bool bold = false);
[[nodiscard]] QFont monoFont(int pixelSize);
// For the transport glyphs ▶ ■ ⏸ ⏮ ↻: plain symbol outlines that take the button's colour,
// never the colour emoji.
[[nodiscard]] QFont symbolFont(int pixelSize);

}  // namespace orvane::ui
