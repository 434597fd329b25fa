#include "ui/AboutDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/DesktopIcon.h"
#include "ui/Appearance.h"

#ifndef ORVANE_VERSION
#define ORVANE_VERSION "0.0.0"
#endif

namespace orvane::ui {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Orvane");
    setAccessibleName("About Orvane");

    auto* icon = new QLabel;
    icon->setPixmap(orvaneIcon().pixmap(128, 128));
    icon->setAlignment(Qt::AlignCenter);
    icon->setAccessibleName("Orvane icon");

    auto* name = new QLabel("Orvane");
    name->setFont(uiFont(20, true));
    name->setAlignment(Qt::AlignCenter);

    auto* version = new QLabel(QString("Version %1").arg(ORVANE_VERSION));
    version->setFont(uiFont(12));
    version->setAlignment(Qt::AlignCenter);
    version->setStyleSheet(QString("color: %1").arg(color(app::ColorRole::secondaryLabel).name()));

    auto* credits = new QLabel(
        "<p style='margin:0'>Takes a MIDI file apart and puts it back together: split, merge and loop "
        "tracks, change tempo, pitch and instruments, and hear every change.</p>"
        "<p style='margin-top:10px; margin-bottom:0'>Sound by FluidSynth with the FluidR3 General MIDI "
        "SoundFont. Window by Qt.</p>"
        "<p style='margin-top:10px; margin-bottom:0'><a href='https://www.fluidsynth.org'>www.fluidsynth.org</a></p>");
    credits->setFont(uiFont(13));
    credits->setWordWrap(true);
    credits->setAlignment(Qt::AlignCenter);
    credits->setTextFormat(Qt::RichText);
    credits->setOpenExternalLinks(true);
    credits->setAccessibleName("Credits");

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setAccessibleName("Close");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 22, 28, 16);
    layout->setSpacing(6);
    layout->addWidget(icon);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addSpacing(8);
    layout->addWidget(credits);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    setFixedWidth(360);
}

}  // namespace orvane::ui
