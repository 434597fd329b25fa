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

// ---- Instrument picker -------------------------------------------------------------------

InstrumentPickerDialog::InstrumentPickerDialog(QWidget* parent, std::shared_ptr<app::InstrumentPicker> picker)
    : QDialog(parent), picker_(std::move(picker)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("instrumentPicker"));
    setWindowTitle(QStringLiteral("Choose Instrument"));
    resize(app::InstrumentPicker::width, app::InstrumentPicker::height);
    setMinimumSize(260, 300);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);

    search_ = new QLineEdit(this);
    search_->setPlaceholderText(QStringLiteral("Filter instruments…"));
    search_->setClearButtonEnabled(true);
    search_->setAccessibleName(tr("Filter instruments"));
    search_->setToolTip(tr("Type part of an instrument name"));
    search_->installEventFilter(this);
    layout->addWidget(search_);

    drums_ = new QPushButton(QStringLiteral("Choose GM Drum Kit"), this);
    drums_->setFont(panel::font(12));
    drums_->setAutoDefault(false);
    drums_->setToolTip(tr("Play this track as drums on channel 10"));
    layout->addWidget(drums_, 0, Qt::AlignLeft);

    list_ = makeList(this, tr("Instruments"));
    layout->addWidget(list_, 1);
    layout->addLayout(bottomButtons(this, select_));

    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        picker_->setFilter(panel::utf8(text));
        fillList();
    });
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        picker_->select(row < 0 ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(row)));
    });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { chooseSelected(); });
    connect(select_, &QPushButton::clicked, this, &InstrumentPickerDialog::chooseSelected);
    connect(drums_, &QPushButton::clicked, this, [this] {
        chosen_ = app::InstrumentPickerSelection::drums();
        accept();
    });
    connect(this, &QDialog::finished, this, &InstrumentPickerDialog::answer);
    fillList();
}

InstrumentPickerDialog::~InstrumentPickerDialog() {
    if (onAnswer) answer(QDialog::Rejected);
}

void InstrumentPickerDialog::fillList() {
    const QSignalBlocker blocker(list_);
    list_->clear();
    for (const app::InstrumentRow& row : picker_->filtered()) addRow(list_, row.text());
    showSelection(list_, picker_->selectedIndex());
}

void InstrumentPickerDialog::chooseSelected() {
    const auto choice = picker_->confirm();
    if (!choice) return;
    chosen_ = choice;
    accept();
}

void InstrumentPickerDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    panel::centreOver(this, parentWidget());
    search_->setFocus();
    if (list_->currentItem() != nullptr) list_->scrollToItem(list_->currentItem(), QAbstractItemView::PositionAtCenter);
}

bool InstrumentPickerDialog::eventFilter(QObject* watched, QEvent* event) {
    return forwardNavigation(watched, search_, list_, event) || QDialog::eventFilter(watched, event);
}

void InstrumentPickerDialog::answer(int code) {
    auto callback = std::move(onAnswer);
    onAnswer = nullptr;
    if (!callback) return;
    callback(code == QDialog::Accepted ? chosen_ : std::nullopt);
}

// ---- Drum picker ---------------------------------------------------------------------------

DrumPickerDialog::DrumPickerDialog(QWidget* parent, std::shared_ptr<app::DrumPicker> picker)
    : QDialog(parent), picker_(std::move(picker)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("drumPicker"));
    setWindowTitle(QStringLiteral("Choose Drum Sound"));
    resize(app::DrumPicker::width, app::DrumPicker::height);
    setMinimumSize(300, 320);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);

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
    layout->addLayout(kitRow);

    search_ = new QLineEdit(this);
    search_->setPlaceholderText(QStringLiteral("Filter drum sounds..."));
    search_->setClearButtonEnabled(true);
    search_->setAccessibleName(tr("Filter drum sounds"));
    search_->setToolTip(tr("Type part of a drum sound's name or its note number"));
    search_->installEventFilter(this);
    layout->addWidget(search_);

    list_ = makeList(this, tr("Drum sounds"));
    layout->addWidget(list_, 1);
    layout->addLayout(bottomButtons(this, select_));

    connect(kits_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0) picker_->selectKit(static_cast<std::size_t>(index));
    });
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        picker_->setFilter(panel::utf8(text));
        fillList();
    });
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        picker_->select(row < 0 ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(row)));
    });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { chooseSelected(); });
    connect(select_, &QPushButton::clicked, this, &DrumPickerDialog::chooseSelected);
    connect(this, &QDialog::finished, this, &DrumPickerDialog::answer);
    fillList();
}

DrumPickerDialog::~DrumPickerDialog() {
    if (onAnswer) answer(QDialog::Rejected);
}

void DrumPickerDialog::fillList() {
    const QSignalBlocker blocker(list_);
    list_->clear();
    for (const midi::GMDrumNote& note : picker_->filteredNotes()) addRow(list_, app::DrumPicker::noteText(note));
    showSelection(list_, picker_->selectedIndex());
}

void DrumPickerDialog::chooseSelected() {
    const auto choice = picker_->confirm();
    if (!choice) return;
    chosen_ = choice;
    accept();
}

void DrumPickerDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    panel::centreOver(this, parentWidget());
    search_->setFocus();
    if (list_->currentItem() != nullptr) list_->scrollToItem(list_->currentItem(), QAbstractItemView::PositionAtCenter);
}

bool DrumPickerDialog::eventFilter(QObject* watched, QEvent* event) {
    return forwardNavigation(watched, search_, list_, event) || QDialog::eventFilter(watched, event);
}

void DrumPickerDialog::answer(int code) {
    auto callback = std::move(onAnswer);
    onAnswer = nullptr;
    if (!callback) return;
    callback(code == QDialog::Accepted ? chosen_ : std::nullopt);
}

}  // namespace orvane::ui
