#include "ui/DesktopIcon.h"

#include <QStandardPaths>
#include <QString>

#include "app/ShellOptions.h"

// The resource lives in a static library, where nothing else would make the linker keep it;
// Q_INIT_RESOURCE must be called outside any namespace.
static void initializeDesktopIconResource() { Q_INIT_RESOURCE(DesktopIcon); }

namespace orvane::ui {
namespace {

constexpr int iconSizes[] = {16, 24, 32, 48, 64, 128, 256};

QString iconName() {
    return QString::fromUtf8(app::applicationID.data(), static_cast<qsizetype>(app::applicationID.size()));
}

// The hicolor PNGs `cmake --install` put under a data folder (XDG_DATA_HOME, XDG_DATA_DIRS).
// Without a desktop session Qt has no icon theme at all and would not look there.
QIcon installedHicolorIcon() {
    QIcon icon;
    for (const int size : iconSizes) {
        const QString path = QStandardPaths::locate(
            QStandardPaths::GenericDataLocation, QStringLiteral("icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(iconName()));
        if (!path.isEmpty()) icon.addFile(path, QSize(size, size));
    }
    return icon;
}

}  // namespace

QIcon bundledOrvaneIcon() {
    [[maybe_unused]] static const bool initialized = [] {
        initializeDesktopIconResource();
        return true;
    }();
    QIcon icon;
    for (const int size : iconSizes) {
        icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(iconName()), QSize(size, size));
    }
    return icon;
}

QIcon orvaneIcon() {
    if (QIcon::hasThemeIcon(iconName())) return QIcon::fromTheme(iconName());
    if (QIcon installed = installedHicolorIcon(); !installed.isNull()) return installed;
    return bundledOrvaneIcon();
}

}  // namespace orvane::ui
