#pragma once
// The track table: colour dots, centred checkboxes, editable names, and an audition button
// with its now-playing indicator in the last column. Selected rows are light blue.

#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <functional>
#include <map>
#include <optional>

#include "ui/NowPlayingIndicator.h"

namespace orvane::ui {

class TrackTableModel;

class TrackTableDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TrackTableDelegate(QObject* parent = nullptr);
    std::function<const IndicatorMotion*(int)> motionForRow;
    std::function<void(int)> onAudition;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

    [[nodiscard]] static QRect checkBoxRect(const QRect& cell);
    [[nodiscard]] static QRect auditionButtonRect(const QRect& cell);
    [[nodiscard]] static QRect indicatorRect(const QRect& cell);
};

class TrackTableView final : public QTableView {
    Q_OBJECT
public:
    explicit TrackTableView(TrackTableModel* model, QWidget* parent = nullptr);

    std::function<void(int)> onAudition;
    std::function<void(std::optional<int>)> onSelectionChanged;

    // Brings the table to what the controller published, without echoing it back.
    void showSelectedRow(std::optional<int> row);
    // Starts or stops the indicators after the model's audition row changed.
    void syncIndicators();
    [[nodiscard]] const IndicatorMotion* motion(int row) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    void animateIndicators();

    TrackTableModel* model_;
    TrackTableDelegate* delegate_;
    std::map<int, IndicatorMotion> motions_;
    QTimer frameTimer_;
    bool syncingSelection_ = false;
};

}  // namespace orvane::ui
