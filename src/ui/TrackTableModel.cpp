#include "ui/TrackTableModel.h"

#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <set>

#include "ui/Appearance.h"

namespace orvane::ui {

using app::TrackColumn;

TrackTableModel::TrackTableModel(QObject* parent) : QAbstractTableModel(parent) {}

TrackColumn TrackTableModel::columnAt(int column) {
    return app::trackColumns[static_cast<std::size_t>(std::clamp(column, 0, int(app::trackColumns.size()) - 1))].column;
}

void TrackTableModel::setRows(const std::vector<app::TrackRow>& rows, std::optional<int> auditionedRow) {
    if (rows.size() != rows_.size()) {
        beginResetModel();
        rows_ = rows;
        auditioned_ = auditionedRow;
        endResetModel();
        return;
    }
    const std::optional<int> oldAuditioned = auditioned_;
    auditioned_ = auditionedRow;
    const int last = columnCount() - 1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i);
        const bool auditionChanged = (oldAuditioned == row) != (auditionedRow == row);
        if (rows[i] == rows_[i] && !auditionChanged) continue;
        rows_[i] = rows[i];
        emit dataChanged(index(row, 0), index(row, last));
    }
}

std::vector<int> TrackTableModel::dragRows(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return {};
    if (!rows_[static_cast<std::size_t>(row)].selected) return {row};
    std::vector<int> ticked;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].selected) ticked.push_back(static_cast<int>(i));
    }
    return ticked;
}

int TrackTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TrackTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(app::trackColumns.size());
}

QVariant TrackTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= rows_.size()) return {};
    const app::TrackRow& row = rows_[static_cast<std::size_t>(index.row())];
    const TrackColumn column = columnAt(index.column());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole: {
            const std::string text = app::cellText(row, column);
            if (text.empty() && column != TrackColumn::name) return {};
            return QString::fromStdString(text);
        }
        case Qt::CheckStateRole:
            if (column == TrackColumn::check) return row.selected ? Qt::Checked : Qt::Unchecked;
            return {};
        case Qt::ForegroundRole: return color(app::rowTextColor(row));
        case Qt::FontRole: return uiFont(12);
        case Qt::TextAlignmentRole:
            switch (column) {
                case TrackColumn::name:
                case TrackColumn::instrument: return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
                default: return QVariant::fromValue(Qt::AlignCenter);
            }
        case Qt::ToolTipRole:
            switch (column) {
                case TrackColumn::dot: return QString("Track colour, as in the timeline");
                case TrackColumn::check: return QString("Tick to include this track in Split and Merge");
                case TrackColumn::name: return QString("Double-click to rename the track");
                case TrackColumn::instrument: return QString("Select the row and press Ctrl+I to change the instrument");
                case TrackColumn::audition:
                    return auditioned_ == index.row() ? QString("Stop playing this track")
                                                      : QString("Play this track on its own");
                default: return {};
            }
        case Qt::AccessibleTextRole:
            switch (column) {
                case TrackColumn::check:
                    return QString("Include track %1 in exports").arg(row.index);
                case TrackColumn::audition:
                    return auditioned_ == index.row() ? QString("Stop track %1").arg(row.index)
                                                      : QString("Play track %1 alone").arg(row.index);
                case TrackColumn::dot: return QString("Colour of track %1").arg(row.index);
                default: return QString::fromStdString(app::cellText(row, column));
            }
        case paletteIndexRole: return row.paletteIdx;
        case auditionTitleRole:
            return QString::fromStdString(app::auditionButtonLook(index.row(), auditioned_).title);
        case auditionRedRole: return app::auditionButtonLook(index.row(), auditioned_).red;
        case auditionPlayingRole: return app::auditionButtonLook(index.row(), auditioned_).indicatorPlaying;
        default: return {};
    }
}

QVariant TrackTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    const app::TrackColumnSpec& entry = app::trackColumns[static_cast<std::size_t>(section)];
    switch (role) {
        case Qt::DisplayRole: return QString::fromUtf8(entry.title.data(), static_cast<qsizetype>(entry.title.size()));
        case Qt::TextAlignmentRole:
            return entry.column == TrackColumn::name || entry.column == TrackColumn::instrument
                       ? QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter)
                       : QVariant::fromValue(Qt::AlignCenter);
        case Qt::ToolTipRole:
            switch (entry.column) {
                case TrackColumn::check: return QString("Ticked tracks are the ones Split and Merge write");
                case TrackColumn::num: return QString("Track number");
                case TrackColumn::channel: return QString("MIDI channel");
                case TrackColumn::events: return QString("Number of MIDI events");
                case TrackColumn::audition: return QString("Play one track on its own");
                default: return {};
            }
        default: return {};
    }
}

Qt::ItemFlags TrackTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    const TrackColumn column = columnAt(index.column());
    if (column == TrackColumn::check) flags |= Qt::ItemIsUserCheckable;
    if (column == TrackColumn::name) flags |= Qt::ItemIsEditable;
    return flags;
}

bool TrackTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= rows_.size()) return false;
    const TrackColumn column = columnAt(index.column());
    // The controller decides; the row changes when it publishes the table again.
    if (column == TrackColumn::check && role == Qt::CheckStateRole) {
        if (onCheckToggled) onCheckToggled(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
        return true;
    }
    if (column == TrackColumn::name && role == Qt::EditRole) {
        if (onNameEdited) onNameEdited(index.row(), value.toString().toStdString());
        return true;
    }
    return false;
}

QStringList TrackTableModel::mimeTypes() const { return {"text/uri-list"}; }

Qt::DropActions TrackTableModel::supportedDragActions() const { return Qt::CopyAction; }

QMimeData* TrackTableModel::mimeData(const QModelIndexList& indexes) const {
    if (indexes.isEmpty() || !onFilesForDrag) return nullptr;
    std::set<int> rows;
    for (const QModelIndex& index : indexes) {
        for (const int row : dragRows(index.row())) rows.insert(row);
    }
    const auto files = onFilesForDrag(std::vector<int>(rows.begin(), rows.end()));
    if (files.empty()) return nullptr;
    QList<QUrl> urls;
    for (const auto& file : files) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(file.string())));
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    return mime;
}

}  // namespace orvane::ui
