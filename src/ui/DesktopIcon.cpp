#include "ui/DesktopIcon.h"

#include <QString>

#include "app/ShellOptions.h"

namespace orvane::ui {

QIcon bundledOrvaneIcon() {
    const auto id = QString::fromUtf8(app::applicationID.data(), static_cast<qsizetype>(app::applicationID.size()));
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(id), QSize(size, size));
    }
    return icon;
}

QIcon orvaneIcon() {
    const auto id = QString::fromUtf8(app::applicationID.data(), static_cast<qsizetype>(app::applicationID.size()));
    return QIcon::fromTheme(id, bundledOrvaneIcon());
}

}  // namespace orvane::ui
