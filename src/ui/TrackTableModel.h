#pragma once
// The track table's rows as a Qt item model: texts and colours come from the application
// layer; a tick, a rename or a drag is handed on through callbacks, never applied here.

#include <QAbstractTableModel>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "app/TrackTable.h"
#include "app/ViewState.h"

namespace orvane::ui {

class TrackTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Role { paletteIndexRole = Qt::UserRole + 1, auditionTitleRole, auditionRedRole, auditionPlayingRole };

    explicit TrackTableModel(QObject* parent = nullptr);

    std::function<void(int, bool)> onCheckToggled;
    std::function<void(int, const std::string&)> onNameEdited;
    // The files to offer when rows are dragged out of the table.
    std::function<std::vector<std::filesystem::path>(const std::vector<int>&)> onFilesForDrag;

    // Updates only the rows that changed; a different number of rows resets the model.
    void setRows(const std::vector<app::TrackRow>& rows, std::optional<int> auditionedRow);
    [[nodiscard]] const std::vector<app::TrackRow>& rows() const noexcept { return rows_; }
    [[nodiscard]] std::optional<int> auditionedRow() const noexcept { return auditioned_; }
    // The rows a drag of `row` carries: every ticked row when it is ticked, else the row.
    [[nodiscard]] std::vector<int> dragRows(int row) const;

    [[nodiscard]] static app::TrackColumn columnAt(int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    std::vector<app::TrackRow> rows_;
    std::optional<int> auditioned_;
};

}  // namespace orvane::ui
