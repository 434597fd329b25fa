#pragma once
// The application icon as the desktop knows it: the theme icon named after the application id
// (installed into hicolor by `cmake --install`), else the same PNGs bundled in the program as a
// Qt resource, so that a build that was never installed shows the same icon.

#include <QIcon>

namespace orvane::ui {

// The icon io.orvane.Orvane of the desktop's icon theme (hicolor included); else, where Qt has
// no icon theme (no desktop session), the installed hicolor PNGs; else the bundled ones. For
// the window icon (QApplication::setWindowIcon) and the About dialog.
[[nodiscard]] QIcon orvaneIcon();

// Only the bundled PNGs, 16 to 256 pixels.
[[nodiscard]] QIcon bundledOrvaneIcon();

}  // namespace orvane::ui
