#include "app/ListClickRelay.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QItemSelectionModel>
#include <QMouseEvent>

ListClickRelay::ListClickRelay(QAbstractItemView* view)
    : QObject(view), view_(view), viewport_(view->viewport()) {
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                SelectionChanged(selected, deselected);
            });
    // A click that changes the selection is already reported by the selection; a click on the item that
    // was selected before the press changes nothing, so it is reported here.
    connect(view_, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (pressOnSelected_ && index.isValid() && view_->selectionModel()->isSelected(index))
            emit Click();
        pressOnSelected_ = false;
    });
    connect(view_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit DblClick();
    });
    viewport_->installEventFilter(this);
}

bool ListClickRelay::eventFilter(QObject* watched, QEvent* event) {
    // The type is tested first: while the view is being destroyed its viewport still sends events here, and
    // the view must not be asked anything then.
    if (event->type() == QEvent::MouseButtonPress && watched == viewport_) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex index = view_->indexAt(mouse->position().toPoint());
        pressOnSelected_ = mouse->button() == Qt::LeftButton && index.isValid() &&
                           view_->selectionModel()->isSelected(index);
    }
    return QObject::eventFilter(watched, event);
}

void ListClickRelay::SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    if (keeping_)
        return;
    if (!selected.isEmpty()) {
        emit Click();
        return;
    }
    // A list with one selected item keeps it: Ctrl+click or Ctrl+Space on the selected row would leave the
    // list with nothing chosen while the results of that row stay shown. Emptying the list is no click.
    const QModelIndexList lost = deselected.indexes();
    if (lost.isEmpty() || !lost.front().isValid() || view_->model()->rowCount() == 0)
        return;
    keeping_ = true;
    view_->selectionModel()->select(lost.front(), QItemSelectionModel::ClearAndSelect);
    keeping_ = false;
}
