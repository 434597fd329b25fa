#pragma once
// The About panel: the icon, the name and version, what the program does, and credits for
// the sound it makes.

#include <QDialog>

namespace orvane::ui {

class AboutDialog final : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace orvane::ui
