#include "ui/PickerDialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/PanelStyle.h"

namespace orvane::ui {

namespace {

constexpr int rowHeight = 20;

QListWidget* makeList(QWidget* parent, const QString& accessibleName) {
    auto* list = new QListWidget(parent);
    list->setFont(panel::fixedFont(12));
    list->setUniformItemSizes(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setAccessibleName(accessibleName);
    list->setToolTip(QObject::tr("Double-click or press Return to choose"));
    return list;
}

void addRow(QListWidget* list, const std::string& text) {
    auto* item = new QListWidgetItem(panel::qstr(text), list);
    item->setSizeHint(QSize(0, rowHeight));
}

// Shows the selection of the picker in the list without reporting it back.
void showSelection(QListWidget* list, std::optional<std::size_t> selected) {
    const QSignalBlocker blocker(list);
    if (selected && static_cast<int>(*selected) < list->count()) {
        list->setCurrentRow(static_cast<int>(*selected));
        list->scrollToItem(list->currentItem(), QAbstractItemView::PositionAtCenter);
    } else {
        list->setCurrentRow(-1);
        list->clearSelection();
    }
}

// Up, Down, Page Up and Page Down typed in the search field move through the list.
bool forwardNavigation(QObject* watched, QLineEdit* search, QListWidget* list, QEvent* event) {
    if (watched != search || event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown: QApplication::sendEvent(list, event); return true;
        default: return false;
    }
}

QHBoxLayout* bottomButtons(QDialog* dialog, QPushButton*& select) {
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    row->addStretch(1);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
    select = new QPushButton(QStringLiteral("Select"), dialog);
    for (QPushButton* button : {cancel, select}) {
        button->setFixedWidth(80);
        button->setFont(panel::font(11));
        row->addWidget(button);
    }
    cancel->setAutoDefault(false);
    cancel->setToolTip(QObject::tr("Keep the current sound (Escape)"));
    select->setDefault(true);
    select->setToolTip(QObject::tr("Use the selected sound (Return)"));
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return row;
}

}  // namespace

// ---- What both pickers share --------------------------------------------------------------

FilteredListDialog::FilteredListDialog(QWidget* parent, const QString& objectName, const QString& title, QSize size,
                                       QSize minimumSize)
    : QDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(objectName);
    setWindowTitle(title);
    resize(size);
    setMinimumSize(minimumSize);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
}

void FilteredListDialog::addSearchAndList(const QString& placeholder, const QString& searchName,
                                          const QString& searchTip, const QString& listName) {
    auto* layout = static_cast<QVBoxLayout*>(QDialog::layout());
    search_ = new QLineEdit(this);
    search_->setPlaceholderText(placeholder);
    search_->setClearButtonEnabled(true);
    search_->setAccessibleName(searchName);
    search_->setToolTip(searchTip);
    search_->installEventFilter(this);
    layout->addWidget(search_);
    list_ = makeList(this, listName);
    layout->addWidget(list_, 1);
    layout->addLayout(bottomButtons(this, select_));

    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        setFilter(panel::utf8(text));
        fillList();
    });
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        selectRow(row < 0 ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(row)));
    });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { chooseSelected(); });
    connect(select_, &QPushButton::clicked, this, &FilteredListDialog::chooseSelected);
    connect(this, &QDialog::finished, this, [this](int code) { answer(code == QDialog::Accepted); });
}

void FilteredListDialog::fillList() {
    const QSignalBlocker blocker(list_);
    list_->clear();
    for (const std::string& text : rowTexts()) addRow(list_, text);
    showSelection(list_, selectedRow());
}

void FilteredListDialog::chooseSelected() {
    if (takeChoice()) accept();
}

void FilteredListDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    panel::centreOver(this, parentWidget());
    search_->setFocus();
    if (list_->currentItem() != nullptr) list_->scrollToItem(list_->currentItem(), QAbstractItemView::PositionAtCenter);
}

bool FilteredListDialog::eventFilter(QObject* watched, QEvent* event) {
    return forwardNavigation(watched, search_, list_, event) || QDialog::eventFilter(watched, event);
}

// ---- Instrument picker -------------------------------------------------------------------

InstrumentPickerDialog::InstrumentPickerDialog(QWidget* parent, std::shared_ptr<app::InstrumentPicker> picker)
    : FilteredListDialog(parent, QStringLiteral("instrumentPicker"), QStringLiteral("Choose Instrument"),
                         QSize(app::InstrumentPicker::width, app::InstrumentPicker::height), QSize(260, 300)),
      picker_(std::move(picker)) {
    drums_ = new QPushButton(QStringLiteral("Choose GM Drum Kit"), this);
    drums_->setFont(panel::font(12));
    drums_->setAutoDefault(false);
    drums_->setToolTip(tr("Play this track as drums on channel 10"));
    addSearchAndList(QStringLiteral("Filter instruments…"), tr("Filter instruments"),
                     tr("Type part of an instrument name"), tr("Instruments"));
    // The drums button sits between the search field and the list.
    static_cast<QVBoxLayout*>(layout())->insertWidget(1, drums_, 0, Qt::AlignLeft);
    connect(drums_, &QPushButton::clicked, this, [this] {
        chosen_ = app::InstrumentPickerSelection::drums();
        accept();
    });
    fillList();
}

InstrumentPickerDialog::~InstrumentPickerDialog() {
    if (onAnswer) answer(false);
}

std::vector<std::string> InstrumentPickerDialog::rowTexts() const {
    std::vector<std::string> texts;
    for (const app::InstrumentRow& row : picker_->filtered()) texts.push_back(row.text());
    return texts;
}

bool InstrumentPickerDialog::takeChoice() {
    chosen_ = picker_->confirm();
    return chosen_.has_value();
}

void InstrumentPickerDialog::answer(bool accepted) {
    auto callback = std::move(onAnswer);
    onAnswer = nullptr;
    if (callback) callback(accepted ? chosen_ : std::nullopt);
}

// ---- Drum picker ---------------------------------------------------------------------------

DrumPickerDialog::DrumPickerDialog(QWidget* parent, std::shared_ptr<app::DrumPicker> picker)
    : FilteredListDialog(parent, QStringLiteral("drumPicker"), QStringLiteral("Choose Drum Sound"),
                         QSize(app::DrumPicker::width, app::DrumPicker::height), QSize(300, 320)),
      picker_(std::move(picker)) {
    auto* kitRow = new QHBoxLayout;
    kitRow->setSpacing(6);
    auto* kitLabel = new QLabel(QStringLiteral("Kit"), this);
    kitLabel->setFont(panel::font(12));
    kitLabel->setFixedWidth(42);
    kitRow->addWidget(kitLabel);
    kits_ = new QComboBox(this);
    for (const midi::GMDrumKit& kit : picker_->kits()) kits_->addItem(panel::qstr(kit.name), int{kit.program});
    kits_->setCurrentIndex(static_cast<int>(picker_->selectedKitIndex()));
    kits_->setAccessibleName(tr("Drum kit"));
    kits_->setToolTip(tr("The drum kit this track plays"));
    kitLabel->setBuddy(kits_);
    kitRow->addWidget(kits_, 1);
    static_cast<QVBoxLayout*>(layout())->addLayout(kitRow);
    connect(kits_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0) picker_->selectKit(static_cast<std::size_t>(index));
    });
    addSearchAndList(QStringLiteral("Filter drum sounds..."), tr("Filter drum sounds"),
                     tr("Type part of a drum sound's name or its note number"), tr("Drum sounds"));
    fillList();
}

DrumPickerDialog::~DrumPickerDialog() {
    if (onAnswer) answer(false);
}

std::vector<std::string> DrumPickerDialog::rowTexts() const {
    std::vector<std::string> texts;
    for (const midi::GMDrumNote& note : picker_->filteredNotes()) texts.push_back(app::DrumPicker::noteText(note));
    return texts;
}

bool DrumPickerDialog::takeChoice() {
    chosen_ = picker_->confirm();
    return chosen_.has_value();
}

void DrumPickerDialog::answer(bool accepted) {
    auto callback = std::move(onAnswer);
    onAnswer = nullptr;
    if (callback) callback(accepted ? chosen_ : std::nullopt);
}

}  // namespace orvane::ui
