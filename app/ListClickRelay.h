// Turns what the user does to a list into the list's Click and DblClick notifications: every change of the
// selected item (mouse, keyboard or program) is a click, and so is a mouse click on the item that is already
// selected. Giving a list the focus, or emptying it, is not. A list that has a selected item keeps one.
#pragma once

#include <QObject>

class QAbstractItemView;
class QItemSelection;

class ListClickRelay final : public QObject {
    Q_OBJECT
public:
    // Watches `view` (which must already have its model) and lives as long as it.
    explicit ListClickRelay(QAbstractItemView* view);

signals:
    void Click();
    void DblClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);

    QAbstractItemView* view_;
    QObject* viewport_;            // compared only, never called
    bool pressOnSelected_ = false; // the last mouse press fell on the item that was already selected
    bool keeping_ = false;         // putting back a selection the user took away
};
