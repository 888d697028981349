#include "updater/AboutDlg.h"

#include "updater/DialogUnits.h"

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("id100"));
    setWindowTitle(tr("关于"));
    setFixedSize(DluX(170), DluY(62));
}
