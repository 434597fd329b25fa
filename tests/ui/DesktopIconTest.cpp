// The application icon: the bundled PNGs are the committed ones at every size, and the
// installed theme icon wins over them when a theme has it.

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

// A hicolor theme under root holding only a 48 px icon of one colour.
void writeTheme(const QString& root, const QColor& colour) {
    QDir(root).mkpath(QStringLiteral("hicolor/48x48/apps"));
    QFile index(root + QStringLiteral("/hicolor/index.theme"));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps\n\n"
                "[48x48/apps]\nSize=48\nContext=Applications\nType=Fixed\n");
    index.close();
    QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    QVERIFY(image.save(root + QStringLiteral("/hicolor/48x48/apps/") + iconName + QStringLiteral(".png")));
}

}  // namespace

class DesktopIconTest : public QObject {
    Q_OBJECT

private slots:
    void bundledIconIsTheCommittedPNGsAtEverySize() {
        const QIcon icon = orvane::ui::bundledOrvaneIcon();
        for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
            QVERIFY2(icon.availableSizes().contains(QSize(size, size)), qPrintable(QString::number(size)));
            const QImage committed(QStringLiteral(ORVANE_SOURCE_DIR "/data/icons/hicolor/%1x%1/apps/%2.png")
                                       .arg(size)
                                       .arg(iconName));
            QVERIFY2(!committed.isNull(), qPrintable(QString::number(size)));
            QCOMPARE(pixels(icon, size), committed.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        }
    }

    void withoutAnInstalledIconTheBundledOneIsUsed() {
        QTemporaryDir empty;
        QIcon::setThemeSearchPaths({empty.path()});
        QIcon::setThemeName(QStringLiteral("hicolor"));
        const QIcon icon = orvane::ui::orvaneIcon();
        QVERIFY(!icon.isNull());
        QCOMPARE(pixels(icon, 48), pixels(orvane::ui::bundledOrvaneIcon(), 48));
    }

    void anInstalledThemeIconWins() {
        QTemporaryDir root;
        writeTheme(root.path(), QColor(255, 0, 0));
        QIcon::setThemeSearchPaths({root.path()});
        QIcon::setThemeName(QStringLiteral("hicolor"));
        const QIcon icon = orvane::ui::orvaneIcon();
        QCOMPARE(icon.name(), iconName);
        QCOMPARE(pixels(icon, 48).pixelColor(24, 24), QColor(255, 0, 0));
    }
};

QTEST_MAIN(DesktopIconTest)
#include "DesktopIconTest.moc"
