#include "app/frmErrorDescription.h"

#include "app/WindowStyle.h"
#include "form/Design.h"

#include <QPlainTextEdit>

frmErrorDescription::frmErrorDescription(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    const form::DialogDesign& design = form::InstanceWindow();
    setObjectName(windowstyle::FromAnsi(design.name));
    setWindowTitle(windowstyle::FromAnsi(design.caption));
    setFont(windowstyle::DialogFont());
    setSizeGripEnabled(false);
    setFixedSize(windowstyle::TwipsToPixels(design.clientWidth),
                 windowstyle::TwipsToPixels(design.clientHeight));

    txtError = new QPlainTextEdit(this);
    txtError->setObjectName(windowstyle::FromAnsi(design.boxName));
    txtError->setGeometry(
        windowstyle::TwipsRect(design.box.Left, design.box.Top, design.box.Width, design.box.Height));
    txtError->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtError->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtError->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtError->setTabChangesFocus(true);
    windowstyle::MakeReadOnlyBox(*txtError);
    txtError->setFocus();
}
