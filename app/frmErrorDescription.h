// The instance detail window: one debug log line shown whole in a small fixed window of its own, captioned
// "Error Description" (or "No Activity File Found" when the transcript lookup could not open the activity
// log). It has no behaviour of its own; its users set its caption and text and show it modally.
#pragma once

#include <QDialog>

class QPlainTextEdit;

class frmErrorDescription final : public QDialog {
    Q_OBJECT
public:
    // Creates the window in its design state, owned by (and centred on) `owner`.
    explicit frmErrorDescription(QWidget* owner);

    // The one text box: wraps at its width, no scroll bars, first in the tab order.
    QPlainTextEdit* txtError;
};
