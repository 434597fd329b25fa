#pragma once
// The application's icon, drawn rather than loaded: a rounded tile with coloured track lanes,
// as the timeline shows a song.

#include <QIcon>
#include <QPixmap>

namespace orvane::ui {

[[nodiscard]] QPixmap appIconPixmap(int size);
[[nodiscard]] QIcon appIcon();

}  // namespace orvane::ui
