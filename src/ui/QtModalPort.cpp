#include "ui/QtModalPort.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QSpacerItem>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QUuid>

#include <algorithm>

#include "app/BeatDetectionController.h"
#include "app/LoopExportDialog.h"
#include "app/MixerPanel.h"
#include "ui/BeatDetectionWindow.h"
#include "ui/LoopExportWindow.h"
#include "ui/MixerWindow.h"
#include "ui/PanelStyle.h"
#include "ui/PickerDialogs.h"
#include "ui/PromptPanelDialog.h"
#include "ui/TempoPromptDialog.h"

namespace orvane::ui {

namespace {

// An answer that runs at most once, and not at all once the port is gone.
template <class... Args>
class Answer {
public:
    Answer(std::weak_ptr<int> alive, std::function<void(Args...)> function)
        : alive_(std::move(alive)), function_(std::move(function)) {}

    void operator()(Args... args) {
        auto function = std::move(function_);
        function_ = nullptr;
        if (!function || alive_.expired()) return;
        function(std::move(args)...);
    }

private:
    std::weak_ptr<int> alive_;
    std::function<void(Args...)> function_;
};

template <class... Args>
std::shared_ptr<Answer<Args...>> makeAnswer(const std::shared_ptr<int>& alive, std::function<void(Args...)> function) {
    return std::make_shared<Answer<Args...>>(alive, std::move(function));
}

QString nativePath(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

std::filesystem::path toPath(const QString& path) { return std::filesystem::path(path.toStdString()); }

QFileDialog* fileDialog(QWidget* parent) {
    auto* dialog = new QFileDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The same light look as the rest of the window, whatever the desktop's theme.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    return dialog;
}

// The save panel: a name typed without the format's extension gets it before Qt checks
// whether the file already exists, so replacing a file is always asked.
class SaveDialog final : public QFileDialog {
public:
    SaveDialog(QWidget* parent, QString extension) : QFileDialog(parent), extension_(std::move(extension)) {}

    void accept() override {
        const QStringList files = selectedFiles();
        if (!files.isEmpty() && !extension_.isEmpty()) {
            const QString typed = files.first();
            const QFileInfo info(typed);
            if (!info.isDir() && info.suffix().compare(extension_, Qt::CaseInsensitive) != 0) {
                selectFile(typed + QLatin1Char('.') + extension_);
            }
        }
        QFileDialog::accept();
    }

private:
    QString extension_;
};

}  // namespace

QtModalPort::QtModalPort(QWidget* parent) : parent_(parent) {}

QtModalPort::~QtModalPort() {
    // Nothing this port opened answers from now on; its windows go with it.
    alive_.reset();
    for (const QPointer<QWidget>& window : windows_) {
        if (!window) continue;
        window->disconnect();
        delete window.data();
    }
}

void QtModalPort::track(QWidget* window) {
    windows_.erase(std::remove_if(windows_.begin(), windows_.end(), [](const QPointer<QWidget>& w) { return !w; }),
                   windows_.end());
    windows_.emplace_back(window);
}

QWidget* QtModalPort::messageParent() const {
    QWidget* active = QApplication::activeWindow();
    if (qobject_cast<MixerWindow*>(active) != nullptr || qobject_cast<BeatDetectionWindow*>(active) != nullptr) {
        for (const QPointer<QWidget>& window : windows_) {
            if (window == active) return active;
        }
    }
    return parent_;
}

std::vector<QWidget*> QtModalPort::openWindows() const {
    std::vector<QWidget*> open;
    for (const QPointer<QWidget>& window : windows_) {
        if (window && window->isVisible()) open.push_back(window.data());
    }
    return open;
}

// ---- Alerts --------------------------------------------------------------------------------

void QtModalPort::runAlert(app::AlertRequest request, std::function<void(int)> answer) {
    auto reply = makeAnswer(alive_, std::move(answer));
    auto* box = new QMessageBox(messageParent());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("alert"));
    box->setIcon(request.style == app::AlertStyle::warning ? QMessageBox::Warning : QMessageBox::Information);
    box->setWindowTitle(panel::qstr(request.title));
    box->setText(panel::qstr(request.title));
    box->setInformativeText(panel::qstr(request.informativeText));
    box->setTextFormat(Qt::PlainText);
    QFont titleFont = box->font();
    titleFont.setBold(true);
    if (auto* titleLabel = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) titleLabel->setFont(titleFont);
    // File and track names are shown as typed, never read as markup.
    if (auto* informative = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        informative->setTextFormat(Qt::PlainText);
    }

    // Short texts keep a calm, readable width instead of wrapping after every few words.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        grid->addItem(new QSpacerItem(380, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    if (request.buttons.empty()) request.buttons.emplace_back("OK");
    std::vector<QAbstractButton*> buttons;
    // One role for every button keeps them in the order given, left to right.
    for (const std::string& title : request.buttons) {
        buttons.push_back(box->addButton(panel::qstr(title), QMessageBox::ActionRole));
    }
    box->setDefaultButton(qobject_cast<QPushButton*>(buttons.front()));
    QAbstractButton* escape = nullptr;
    for (QAbstractButton* button : buttons) {
        if (button->text() == QStringLiteral("Cancel")) escape = button;
    }
    if (escape == nullptr && buttons.size() == 1) escape = buttons.front();
    box->setEscapeButton(escape);

    QObject::connect(box, &QMessageBox::finished, box, [box, buttons, reply](int) {
        QAbstractButton* clicked = box->clickedButton();
        const auto found = std::find(buttons.begin(), buttons.end(), clicked);
        (*reply)(found == buttons.end() ? -1 : static_cast<int>(found - buttons.begin()));
    });
    // Gone without closing (the window it stood over went first): dismissed.
    QObject::connect(box, &QObject::destroyed, [reply] { (*reply)(-1); });
    track(box);
    box->open();
}

// ---- Files ---------------------------------------------------------------------------------

void QtModalPort::chooseFolder(app::FolderRequest request, app::PathAnswer answer) {
    auto reply = makeAnswer(alive_, std::move(answer));
    QFileDialog* dialog = fileDialog(parent_);
    dialog->setObjectName(QStringLiteral("folderChooser"));
    dialog->setWindowTitle(panel::qstr(request.message));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setLabelText(QFileDialog::Accept, panel::qstr(request.prompt));
    dialog->setLabelText(QFileDialog::LookIn, panel::qstr(request.message));
    if (!request.startFolder.empty()) dialog->setDirectory(nativePath(request.startFolder));
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, reply](int result) {
        const QStringList files = dialog->selectedFiles();
        if (result == QDialog::Accepted && !files.isEmpty()) return (*reply)(toPath(files.first()));
        (*reply)(std::nullopt);
    });
    QObject::connect(dialog, &QObject::destroyed, [reply] { (*reply)(std::nullopt); });
    track(dialog);
    dialog->open();
}

void QtModalPort::chooseSaveLocation(app::SavePanelRequest request, app::PathAnswer answer) {
    auto reply = makeAnswer(alive_, std::move(answer));
    const QString extension = panel::qstr(request.extension);
    auto* dialog = new SaveDialog(parent_, extension);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setObjectName(QStringLiteral("savePanel"));
    dialog->setWindowTitle(QStringLiteral("Save Merged File"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    if (!extension.isEmpty()) {
        dialog->setNameFilter(QStringLiteral("%1 (*.%2)").arg(extension == QStringLiteral("mid")
                                                                  ? QStringLiteral("MIDI File")
                                                                  : QStringLiteral("MIDI 2.0 Clip File"),
                                                              extension));
    }
    if (!request.startFolder.empty()) dialog->setDirectory(nativePath(request.startFolder));
    dialog->selectFile(panel::qstr(request.suggestedName));
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, reply, extension](int result) {
        const QStringList files = dialog->selectedFiles();
        if (result != QDialog::Accepted || files.isEmpty()) return (*reply)(std::nullopt);
        QString file = files.first();
        if (!extension.isEmpty() && QFileInfo(file).suffix().compare(extension, Qt::CaseInsensitive) != 0) {
            file += QLatin1Char('.') + extension;
        }
        (*reply)(toPath(file));
    });
    QObject::connect(dialog, &QObject::destroyed, [reply] { (*reply)(std::nullopt); });
    track(dialog);
    dialog->open();
}

void QtModalPort::chooseFileToOpen(app::OpenPanelRequest request, app::PathAnswer answer) {
    auto reply = makeAnswer(alive_, std::move(answer));
    QFileDialog* dialog = fileDialog(parent_);
    dialog->setObjectName(QStringLiteral("openPanel"));
    dialog->setWindowTitle(QStringLiteral("Open MIDI File"));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    QStringList patterns;
    for (const std::string& extension : request.extensions) {
        const QString lower = panel::qstr(extension).toLower();
        patterns << QStringLiteral("*.") + lower << QStringLiteral("*.") + lower.toUpper();
    }
    if (!patterns.isEmpty()) dialog->setNameFilter(QStringLiteral("MIDI Files (%1)").arg(patterns.join(QLatin1Char(' '))));
    if (!request.startFolder.empty()) dialog->setDirectory(nativePath(request.startFolder));
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, reply](int result) {
        const QStringList files = dialog->selectedFiles();
        if (result == QDialog::Accepted && !files.isEmpty()) return (*reply)(toPath(files.first()));
        (*reply)(std::nullopt);
    });
    QObject::connect(dialog, &QObject::destroyed, [reply] { (*reply)(std::nullopt); });
    track(dialog);
    dialog->open();
}

void QtModalPort::revealInFileManager(const std::filesystem::path& path) {
    const QFileInfo info(nativePath(path));
    const bool folder = info.isDir();
    const QString folderPath = folder ? info.absoluteFilePath() : info.absolutePath();
    const auto openFolder = [this, alive = std::weak_ptr<int>(alive_), folderPath] {
        if (alive.expired()) return;
        lastRevealMethod_ = "open-folder";
        QDesktopServices::openUrl(QUrl::fromLocalFile(folderPath));
    };

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return openFolder();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), folder ? QStringLiteral("ShowFolders") : QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(info.absoluteFilePath()).toString()} << QString();
    lastRevealMethod_ = folder ? "dbus-folders" : "dbus-items";
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 3000), parent_);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [openFolder](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (finished->isError()) openFolder();
                     });
}

void QtModalPort::beep() { QApplication::beep(); }

// ---- Panels ----------------------------------------------------------------------------------

void QtModalPort::showPrompt(app::PromptRequest request, std::function<void(app::PromptResult)> answer) {
    auto reply = makeAnswer(alive_, std::move(answer));
    auto* dialog = new PromptPanelDialog(messageParent(), std::move(request));
    dialog->onAnswer = [reply](app::PromptResult result) { (*reply)(std::move(result)); };
    track(dialog);
    dialog->open();
}

void QtModalPort::askTempo(app::TempoPromptRequest request,
                           std::function<void(std::optional<app::TempoPromptAnswer>)> answer) {
    auto reply = makeAnswer(alive_, std::move(answer));
    auto* dialog = new TempoPromptDialog(parent_, request);
    dialog->onAnswer = [reply](std::optional<app::TempoPromptAnswer> result) { (*reply)(std::move(result)); };
    track(dialog);
    dialog->open();
}

void QtModalPort::showInstrumentPicker(std::shared_ptr<app::InstrumentPicker> picker,
                                       std::function<void(std::optional<app::InstrumentPickerSelection>)> answer) {
    auto reply = makeAnswer(alive_, std::move(answer));
    auto* dialog = new InstrumentPickerDialog(parent_, std::move(picker));
    dialog->onAnswer = [reply](std::optional<app::InstrumentPickerSelection> choice) { (*reply)(choice); };
    track(dialog);
    dialog->open();
}

void QtModalPort::showDrumPicker(std::shared_ptr<app::DrumPicker> picker,
                                 std::function<void(std::optional<app::DrumInstrumentSelection>)> answer) {
    auto reply = makeAnswer(alive_, std::move(answer));
    auto* dialog = new DrumPickerDialog(parent_, std::move(picker));
    dialog->onAnswer = [reply](std::optional<app::DrumInstrumentSelection> choice) { (*reply)(choice); };
    track(dialog);
    dialog->open();
}

void QtModalPort::showLoopExportDialog(std::shared_ptr<app::LoopExportDialog> dialog) {
    auto* window = new LoopExportWindow(parent_, std::move(dialog));
    track(window);
    window->open();
}

void QtModalPort::showMixerWindow(std::shared_ptr<app::MixerPanel> mixer) {
    for (auto it = mixerWindows_.begin(); it != mixerWindows_.end();) {
        it = it->second ? std::next(it) : mixerWindows_.erase(it);
    }
    const auto open = mixerWindows_.find(mixer.get());
    if (open != mixerWindows_.end()) {
        open->second->show();
        open->second->raise();
        open->second->activateWindow();
        return;
    }
    const app::MixerPanel* key = mixer.get();
    auto* window = new MixerWindow(parent_, std::move(mixer));
    mixerWindows_[key] = window;
    track(window);
    window->show();
    panel::centreOver(window, parent_);
    window->raise();
    window->activateWindow();
}

void QtModalPort::showBeatDetectionWindow(std::shared_ptr<app::BeatDetectionController> controller) {
    auto* window = new BeatDetectionWindow(parent_, std::move(controller));
    track(window);
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace orvane::ui
