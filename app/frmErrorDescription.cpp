#include "app/frmErrorDescription.h"

#include "app/WindowStyle.h"

#include <QPlainTextEdit>

frmErrorDescription::frmErrorDescription(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("frmErrorDescription"));
    setWindowTitle(QStringLiteral("Error Description"));
    setFont(windowstyle::DialogFont());
    setSizeGripEnabled(false);
    setFixedSize(windowstyle::TwipsToPixels(4605), windowstyle::TwipsToPixels(2700));

    txtError = new QPlainTextEdit(this);
    txtError->setObjectName(QStringLiteral("txtError"));
    txtError->setGeometry(windowstyle::TwipsRect(120, 120, 4380, 2445));
    txtError->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtError->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtError->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtError->setTabChangesFocus(true);
    windowstyle::MakeReadOnlyBox(*txtError);
    txtError->setFocus();
}
