#pragma once
// The rounded area at the top of the window: it invites a drop, shows the loaded song's name
// (renamed in place after a double-click) and its tempo, time signature and key.

#include <QFrame>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "app/ViewState.h"

class QLabel;
class QLineEdit;

namespace orvane::ui {

class DropZone final : public QFrame {
    Q_OBJECT
public:
    explicit DropZone(QWidget* parent = nullptr);

    // What the zone hands on; set by the window.
    std::function<bool(const std::filesystem::path&)> onDrop;           // answers whether accepted
    std::function<std::string(const std::string&)> onCommitName;        // Return: the name to show
    std::function<void(std::optional<std::string>)> onNameDraft;        // typing, or nothing

    void render(const app::DropZoneState& state);

    [[nodiscard]] bool isHighlighted() const noexcept { return highlighted_; }
    [[nodiscard]] bool isNameEditing() const noexcept { return editing_; }
    [[nodiscard]] QString nameText() const;
    [[nodiscard]] QString infoText() const;
    [[nodiscard]] QLineEdit* nameField() const noexcept { return nameField_; }
    [[nodiscard]] QLabel* nameLabel() const noexcept { return nameLabel_; }

    // Starts editing the song name (only with a song loaded).
    void beginNameEditing();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void endNameEditing();
    void commitName();
    void revertName();
    void setHighlighted(bool on);

    QLabel* nameLabel_ = nullptr;
    QLineEdit* nameField_ = nullptr;
    QLabel* infoLabel_ = nullptr;
    app::DropZoneState state_;
    bool highlighted_ = false;
    bool editing_ = false;
    bool keyboardFocus_ = false;
};

}  // namespace orvane::ui
