// The application icon: the bundled PNGs are the committed ones at every size; an icon theme
// that has the icon wins, and without an icon theme (no desktop session) the installed hicolor
// PNGs still win over the bundled ones.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include "ui/DesktopIcon.h"

namespace {

const QString iconName = QStringLiteral("io.orvane.Orvane");

// Premultiplied, as a pixmap holds them: edge pixels round-trip exactly.
QImage pixels(const QIcon& icon, int size) {
    return icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// share/icons/hicolor under root, holding only a 48 px icon of one colour.
void installIcon(const QString& root, const QColor& colour) {
    const QString hicolor = root + QStringLiteral("/icons/hicolor");
    QVERIFY(QDir().mkpath(hicolor + QStringLiteral("/48x48/apps")));
    QFile index(hicolor + QStringLiteral("/index.theme"));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps\n\n"
                "[48x48/apps]\nSize=48\nContext=Applications\nType=Fixed\n");
    index.close();
    QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    QVERIFY(image.save(hicolor + QStringLiteral("/48x48/apps/") + iconName + QStringLiteral(".png")));
}

// The data folders (as the desktop sets them) are root alone; the icon theme, when named,
// is searched there too.
void useDataFolder(const QTemporaryDir& home, const QString& root, const QString& theme) {
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    qputenv("XDG_DATA_DIRS", root.toUtf8());
    QIcon::setThemeSearchPaths({root + QStringLiteral("/icons")});
    QIcon::setThemeName(theme);
}

}  // namespace

class DesktopIconTest : public QObject {
    Q_OBJECT

private slots:
    void bundledIconIsTheCommittedPNGsAtEverySize() {
        const QIcon icon = orvane::ui::bundledOrvaneIcon();
        for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
            const QImage committed(
                QStringLiteral(ORVANE_SOURCE_DIR "/data/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(iconName));
            QVERIFY2(icon.availableSizes().contains(QSize(size, size)) && !committed.isNull(),
                     qPrintable(QString::number(size)));
            QCOMPARE(pixels(icon, size), committed.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        }
    }

    // Nothing installed gives the bundled icon, with or without an icon theme; an installed
    // icon wins through a theme that has it, and without an icon theme too.
    void anInstalledIconWinsOverTheBundledOne() {
        for (const auto& [installed, theme] : {std::pair{QColor(), QString()}, {QColor(), QStringLiteral("hicolor")},
                                               {QColor(255, 0, 0), QStringLiteral("hicolor")},
                                               {QColor(0, 0, 255), QString()}}) {
            const QTemporaryDir home, root;
            if (installed.isValid()) installIcon(root.path(), installed);
            useDataFolder(home, root.path(), theme);
            const QIcon icon = orvane::ui::orvaneIcon();
            QVERIFY(!icon.isNull());
            if (!installed.isValid()) {
                QCOMPARE(pixels(icon, 48), pixels(orvane::ui::bundledOrvaneIcon(), 48));
                continue;
            }
            QCOMPARE(pixels(icon, 48).pixelColor(24, 24), installed);
            if (!theme.isEmpty()) QCOMPARE(icon.name(), iconName);
        }
    }
};

QTEST_MAIN(DesktopIconTest)
#include "DesktopIconTest.moc"
