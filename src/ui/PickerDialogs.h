#pragma once
// The instrument and drum pickers: a list that filters as the user types, Return or a
// double-click chooses, Escape cancels. The picker objects of the application layer hold the
// rows, the filter and the selection; these dialogs show them and hand keys and clicks over.

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Pickers.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace orvane::ui {

// What both pickers share: a search field that filters a list as the user types (Up and
// Down move through the list from the field), Select, Return or a double-click to choose,
// Escape or Cancel to leave. The derived dialog names the rows and reports the choice.
class FilteredListDialog : public QDialog {
    Q_OBJECT
public:
    [[nodiscard]] QLineEdit* searchField() const noexcept { return search_; }
    [[nodiscard]] QListWidget* list() const noexcept { return list_; }
    [[nodiscard]] QPushButton* selectButton() const noexcept { return select_; }

    // Select, Return or a double-click: closes with the selected row (nothing without one).
    void chooseSelected();

protected:
    FilteredListDialog(QWidget* parent, const QString& objectName, const QString& title, QSize size,
                       QSize minimumSize);
    // Builds the search field, the list and the buttons under whatever the derived dialog put
    // in layout() first; then fills the list.
    void addSearchAndList(const QString& placeholder, const QString& searchName, const QString& searchTip,
                          const QString& listName);
    void fillList();

    // The picker behind the dialog.
    virtual void setFilter(const std::string& text) = 0;
    [[nodiscard]] virtual std::vector<std::string> rowTexts() const = 0;
    [[nodiscard]] virtual std::optional<std::size_t> selectedRow() const = 0;
    virtual void selectRow(std::optional<std::size_t> row) = 0;
    // Keeps the choice of the selected row; false without one.
    virtual bool takeChoice() = 0;
    // Called once, when the dialog finishes (accepted or not) or goes away.
    virtual void answer(bool accepted) = 0;

    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* search_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* select_ = nullptr;
};

class InstrumentPickerDialog final : public FilteredListDialog {
    Q_OBJECT
public:
    InstrumentPickerDialog(QWidget* parent, std::shared_ptr<app::InstrumentPicker> picker);
    ~InstrumentPickerDialog() override;

    // Called once when the sheet closes: the choice, or nothing when cancelled.
    std::function<void(std::optional<app::InstrumentPickerSelection>)> onAnswer;

    [[nodiscard]] QPushButton* drumsButton() const noexcept { return drums_; }

private:
    void setFilter(const std::string& text) override { picker_->setFilter(text); }
    [[nodiscard]] std::vector<std::string> rowTexts() const override;
    [[nodiscard]] std::optional<std::size_t> selectedRow() const override { return picker_->selectedIndex(); }
    void selectRow(std::optional<std::size_t> row) override { picker_->select(row); }
    bool takeChoice() override;
    void answer(bool accepted) override;

    std::shared_ptr<app::InstrumentPicker> picker_;
    std::optional<app::InstrumentPickerSelection> chosen_;
    QPushButton* drums_ = nullptr;
};

class DrumPickerDialog final : public FilteredListDialog {
    Q_OBJECT
public:
    DrumPickerDialog(QWidget* parent, std::shared_ptr<app::DrumPicker> picker);
    ~DrumPickerDialog() override;

    std::function<void(std::optional<app::DrumInstrumentSelection>)> onAnswer;

    [[nodiscard]] QComboBox* kitPopup() const noexcept { return kits_; }

private:
    void setFilter(const std::string& text) override { picker_->setFilter(text); }
    [[nodiscard]] std::vector<std::string> rowTexts() const override;
    [[nodiscard]] std::optional<std::size_t> selectedRow() const override { return picker_->selectedIndex(); }
    void selectRow(std::optional<std::size_t> row) override { picker_->select(row); }
    bool takeChoice() override;
    void answer(bool accepted) override;

    std::shared_ptr<app::DrumPicker> picker_;
    std::optional<app::DrumInstrumentSelection> chosen_;
    QComboBox* kits_ = nullptr;
};

}  // namespace orvane::ui
