#include "ui/TrackTableView.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>

#include "app/TrackTable.h"
#include "app/ViewTypes.h"
#include "ui/Appearance.h"
#include "ui/TrackTableModel.h"

namespace orvane::ui {

using app::TrackColumn;

namespace {

constexpr int auditionButtonWidth = 28;
constexpr int auditionButtonHeight = 20;
constexpr int indicatorBoxWidth = 20;
constexpr int indicatorBoxHeight = 18;
constexpr int auditionSpacing = 4;

}  // namespace

TrackTableDelegate::TrackTableDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QRect TrackTableDelegate::checkBoxRect(const QRect& cell) {
    const QSize size(16, 16);
    return {cell.center().x() - size.width() / 2 + 1, cell.center().y() - size.height() / 2 + 1, size.width(),
            size.height()};
}

QRect TrackTableDelegate::auditionButtonRect(const QRect& cell) {
    const int group = auditionButtonWidth + auditionSpacing + indicatorBoxWidth;
    const int left = cell.left() + (cell.width() - group) / 2;
    return {left, cell.center().y() - auditionButtonHeight / 2 + 1, auditionButtonWidth, auditionButtonHeight};
}

QRect TrackTableDelegate::indicatorRect(const QRect& cell) {
    const QRect button = auditionButtonRect(cell);
    return {button.right() + 1 + auditionSpacing, cell.center().y() - indicatorBoxHeight / 2 + 1, indicatorBoxWidth,
            indicatorBoxHeight};
}

void TrackTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const bool selected = opt.state.testFlag(QStyle::State_Selected);
    painter->save();
    if (selected) {
        // The selection: light blue, one point in from the top and bottom of the row, over the
        // row's own background (the view has already filled the cell with the highlight).
        const bool alternate = opt.features.testFlag(QStyleOptionViewItem::Alternate);
        painter->fillRect(opt.rect, opt.palette.color(alternate ? QPalette::AlternateBase : QPalette::Base));
        painter->fillRect(opt.rect.adjusted(0, 1, 0, -1), color(app::trackRowSelectionColor));
    }
    opt.state &= ~QStyle::State_Selected;
    opt.state &= ~QStyle::State_HasFocus;
    const TrackColumn column = TrackTableModel::columnAt(index.column());
    const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    switch (column) {
        case TrackColumn::dot: {
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setPen(Qt::NoPen);
            painter->setBrush(trackColor(index.data(TrackTableModel::paletteIndexRole).toInt()));
            const QPointF centre = QRectF(opt.rect).center();
            painter->drawEllipse(centre, 5, 5);
            break;
        }
        case TrackColumn::check: {
            QStyleOptionButton box;
            box.rect = checkBoxRect(opt.rect);
            box.state = QStyle::State_Enabled | (index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked
                                                     ? QStyle::State_On
                                                     : QStyle::State_Off);
            if (option.state.testFlag(QStyle::State_MouseOver)) box.state |= QStyle::State_MouseOver;
            style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, opt.widget);
            break;
        }
        case TrackColumn::audition: {
            const QRect button = auditionButtonRect(opt.rect);
            const bool red = index.data(TrackTableModel::auditionRedRole).toBool();
            if (option.state.testFlag(QStyle::State_MouseOver)) {
                painter->setRenderHint(QPainter::Antialiasing);
                painter->setPen(Qt::NoPen);
                painter->setBrush(QColor(0, 0, 0, 18));
                painter->drawRoundedRect(QRectF(button).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
            }
            painter->setFont(symbolFont(12));
            painter->setPen(red ? color(app::ColorRole::red) : color(app::ColorRole::label));
            painter->drawText(button, Qt::AlignCenter, index.data(TrackTableModel::auditionTitleRole).toString());
            IndicatorMotion idle;
            const IndicatorMotion* motion = motionForRow ? motionForRow(index.row()) : nullptr;
            paintNowPlayingIndicator(*painter, indicatorRect(opt.rect),
                                     trackColor(index.data(TrackTableModel::paletteIndexRole).toInt()),
                                     motion ? *motion : idle, indicatorClock());
            break;
        }
        default:
            opt.rect.adjust(2, 0, -2, 0);
            QStyledItemDelegate::paint(painter, opt, index);
            break;
    }
    painter->restore();
}

QWidget* TrackTableDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* field = qobject_cast<QLineEdit*>(editor)) {
        field->setFont(uiFont(12));
        field->setAccessibleName("Track name");
        // A file dragged over the field is no text to insert.
        field->setAcceptDrops(false);
    }
    return editor;
}

bool TrackTableDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) {
    const TrackColumn column = TrackTableModel::columnAt(index.column());
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) return false;
        const QPoint at = mouse->position().toPoint();
        if (column == TrackColumn::check && checkBoxRect(option.rect).adjusted(-4, -4, 4, 4).contains(at)) {
            const bool on = index.data(Qt::CheckStateRole).value<Qt::CheckState>() != Qt::Checked;
            model->setData(index, on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
            return true;
        }
        if (column == TrackColumn::audition && auditionButtonRect(option.rect).adjusted(-2, -2, 2, 2).contains(at)) {
            if (onAudition) onAudition(index.row());
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonDblClick && (column == TrackColumn::check || column == TrackColumn::audition)) {
        return true;  // a quick second click is a second click, not an edit
    }
    return false;
}

TrackTableView::TrackTableView(TrackTableModel* model, QWidget* parent)
    : QTableView(parent), model_(model), delegate_(new TrackTableDelegate(this)) {
    setModel(model);
    setItemDelegate(delegate_);
    delegate_->motionForRow = [this](int row) { return motion(row); };
    delegate_->onAudition = [this](int row) {
        if (onAudition) onAudition(row);
    };

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAlternatingRowColors(true);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setMouseTracking(true);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Tab leaves the table (the arrow keys move between cells).
    setTabKeyNavigation(false);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    setAccessibleName("Tracks");
    setToolTip("The song's tracks. Tick the ones to split or merge; drag a row out to a folder or another "
               "program to get its file.");

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(app::trackRowHeight);
    verticalHeader()->setMinimumSectionSize(app::trackRowHeight);

    QHeaderView* header = horizontalHeader();
    header->setFont(uiFont(12));
    header->setHighlightSections(false);
    header->setSectionsClickable(false);
    header->setMinimumSectionSize(10);
    header->setFixedHeight(25);
    for (std::size_t i = 0; i < app::trackColumns.size(); ++i) {
        const auto& entry = app::trackColumns[i];
        const int section = static_cast<int>(i);
        header->resizeSection(section, entry.width);
        // Name and instrument share the width the fixed columns leave.
        const bool stretches = entry.column == TrackColumn::name || entry.column == TrackColumn::instrument;
        header->setSectionResizeMode(section, stretches ? QHeaderView::Stretch : QHeaderView::Fixed);
    }

    frameTimer_.setInterval(33);
    connect(&frameTimer_, &QTimer::timeout, this, &TrackTableView::animateIndicators);
}

const IndicatorMotion* TrackTableView::motion(int row) const {
    const auto found = motions_.find(row);
    return found == motions_.end() ? nullptr : &found->second;
}

void TrackTableView::syncIndicators() {
    const double now = indicatorClock();
    const std::optional<int> playing = model_->auditionedRow();
    for (auto& [row, motion] : motions_) {
        if (row != playing) motion.setPlaying(false, now);
    }
    if (playing) motions_[*playing].setPlaying(true, now);
    if (!frameTimer_.isActive()) frameTimer_.start();
}

void TrackTableView::animateIndicators() {
    const double now = indicatorClock();
    const int column = static_cast<int>(TrackColumn::audition);
    bool moving = false;
    for (auto it = motions_.begin(); it != motions_.end();) {
        if (it->first < model_->rowCount()) {
            // Only the indicator itself is repainted.
            const QRect cell = visualRect(model_->index(it->first, column));
            viewport()->update(TrackTableDelegate::indicatorRect(cell).adjusted(-1, -1, 1, 1));
        }
        if (it->second.isMoving(now)) {
            moving = true;
            ++it;
        } else {
            it = motions_.erase(it);
        }
    }
    if (!moving) frameTimer_.stop();
}

void TrackTableView::showSelectedRow(std::optional<int> row) {
    syncingSelection_ = true;
    const QModelIndexList current = selectionModel()->selectedRows();
    const std::optional<int> shown = current.isEmpty() ? std::nullopt : std::optional<int>(current.front().row());
    if (shown != row) {
        if (row && *row >= 0 && *row < model_->rowCount()) {
            selectionModel()->select(model_->index(*row, 0),
                                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        } else {
            selectionModel()->clearSelection();
        }
    }
    syncingSelection_ = false;
}

void TrackTableView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QTableView::selectionChanged(selected, deselected);
    if (syncingSelection_ || !onSelectionChanged) return;
    const QModelIndexList rows = selectionModel()->selectedRows();
    onSelectionChanged(rows.isEmpty() ? std::nullopt : std::optional<int>(rows.front().row()));
}

void TrackTableView::keyPressEvent(QKeyEvent* event) {
    // Return acts on the current cell: ticks the box, auditions the track, or renames it.
    const QModelIndex current = currentIndex();
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && current.isValid() &&
        state() != QAbstractItemView::EditingState) {
        switch (TrackTableModel::columnAt(current.column())) {
            case TrackColumn::check: {
                const bool on = current.data(Qt::CheckStateRole).value<Qt::CheckState>() != Qt::Checked;
                model_->setData(current, on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
                return;
            }
            case TrackColumn::audition:
                if (onAudition) onAudition(current.row());
                return;
            default:
                edit(model_->index(current.row(), static_cast<int>(TrackColumn::name)));
                return;
        }
    }
    QTableView::keyPressEvent(event);
}

}  // namespace orvane::ui
