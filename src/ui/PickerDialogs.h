#pragma once
// The instrument and drum pickers: a list that filters as the user types, Return or a
// double-click chooses, Escape cancels. The picker objects of the application layer hold the
// rows, the filter and the selection; these dialogs show them and hand keys and clicks over.

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>

#include "app/Pickers.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace orvane::ui {

class InstrumentPickerDialog final : public QDialog {
    Q_OBJECT
public:
    InstrumentPickerDialog(QWidget* parent, std::shared_ptr<app::InstrumentPicker> picker);
    ~InstrumentPickerDialog() override;

    // Called once when the sheet closes: the choice, or nothing when cancelled.
    std::function<void(std::optional<app::InstrumentPickerSelection>)> onAnswer;

    [[nodiscard]] QLineEdit* searchField() const noexcept { return search_; }
    [[nodiscard]] QListWidget* list() const noexcept { return list_; }
    [[nodiscard]] QPushButton* drumsButton() const noexcept { return drums_; }
    [[nodiscard]] QPushButton* selectButton() const noexcept { return select_; }

    // Select, Return or a double-click: closes with the selected row (nothing without one).
    void chooseSelected();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillList();
    void answer(int code);

    std::shared_ptr<app::InstrumentPicker> picker_;
    std::optional<app::InstrumentPickerSelection> chosen_;
    QLineEdit* search_ = nullptr;
    QPushButton* drums_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* select_ = nullptr;
};

class DrumPickerDialog final : public QDialog {
    Q_OBJECT
public:
    DrumPickerDialog(QWidget* parent, std::shared_ptr<app::DrumPicker> picker);
    ~DrumPickerDialog() override;

    std::function<void(std::optional<app::DrumInstrumentSelection>)> onAnswer;

    [[nodiscard]] QComboBox* kitPopup() const noexcept { return kits_; }
    [[nodiscard]] QLineEdit* searchField() const noexcept { return search_; }
    [[nodiscard]] QListWidget* list() const noexcept { return list_; }
    [[nodiscard]] QPushButton* selectButton() const noexcept { return select_; }

    void chooseSelected();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillList();
    void answer(int code);

    std::shared_ptr<app::DrumPicker> picker_;
    std::optional<app::DrumInstrumentSelection> chosen_;
    QComboBox* kits_ = nullptr;
    QLineEdit* search_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* select_ = nullptr;
};

}  // namespace orvane::ui
