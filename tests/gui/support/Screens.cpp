// Writes pictures of the message dialogs and of the funds and positions view, drawn
// offscreen, for a visual check: gui_screens <output folder>.
#include "account/ListCtrlCl.h"
#include "account/MoneyStockView.h"
#include "controls/FailDlg.h"
#include "controls/FlatComboBox.h"
#include "controls/TEdit.h"
#include "controls/TStatic.h"
#include "controls/XPButton.h"
#include "controls/YesNoTipDlg.h"
#include "tests/gui/support/GuiTestEnv.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QMouseEvent>
#include <QTextStream>

namespace {
bool Save(QWidget& widget, const QString& folder, const QString& name) {
    const QString path = QDir(folder).filePath(name);
    if (!widget.grab().save(path)) {
        QTextStream(stderr) << "cannot write " << path << '\n';
        return false;
    }
    QTextStream(stdout) << path << '\n';
    return true;
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
    const QStringList args = QApplication::arguments();
    if (args.size() != 2) {
        QTextStream(stderr) << "usage: gui_screens <output folder>\n";
        return 2;
    }
    const QString folder = args.at(1);
    if (!QDir().mkpath(folder)) {
        QTextStream(stderr) << "cannot create " << folder << '\n';
        return 1;
    }
    bool ok = true;

    CFailDlg failure;
    failure.SetMessage(ConnectionFailureText());
    failure.show();
    ok &= Save(failure, folder, QStringLiteral("fail-dialog.png"));

    CYesNoTipDlg question;
    question.SetMessage(QStringLiteral("您确定要撤销全部委托吗？"));
    question.show();
    ok &= Save(question, folder, QStringLiteral("yes-no-dialog.png"));

    QWidget controls;
    controls.setAutoFillBackground(true);
    controls.setPalette(QPalette(QColor(240, 240, 240)));
    controls.resize(420, 110);
    auto* normal = new CXPButton(QStringLiteral("买入(&B)"), &controls);
    normal->setGeometry(10, 10, 90, 26);
    auto* hovered = new CXPButton(QStringLiteral("卖出"), &controls);
    hovered->setGeometry(110, 10, 90, 26);
    auto* flat = new CXPButton(QStringLiteral("撤单"), &controls);
    flat->setGeometry(210, 10, 90, 26);
    flat->SetEnabledLook(false);
    auto* label = new CTStatic(QStringLiteral("证券代码"), &controls);
    label->setGeometry(10, 50, 70, 22);
    auto* edit = new CTEdit(&controls);
    edit->setGeometry(80, 50, 110, 22);
    edit->setText(QStringLiteral("600000"));
    auto* combo = new CFlatComboBox(&controls);
    combo->addItem(QStringLiteral("限价委托"));
    combo->setGeometry(210, 50, 110, 22);
    controls.show();
    QMouseEvent move(QEvent::MouseMove, QPointF(20, 10), hovered->mapToGlobal(QPointF(20, 10)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(hovered, &move);
    ok &= Save(controls, folder, QStringLiteral("controls.png"));

    tavix::test::GuiTestEnv env;
    using tavix::test::Gbk;
    env.FillFunds("52340.50,50000.00,1200.00,68450.00,51140.50,121990.50,0,0,0");
    env.FillPositions(Gbk(QStringLiteral("600000,浦发银行,3000,3000,0,-450.00,10.35,-1.45,10.20,30600.00|"
                                         "000001,平安银行,2000,1000,1000,820.00,11.80,3.47,12.21,24420.00|"
                                         "601398,工商银行,2500,2500,0,0.00,5.10,0.00,5.10,12750.00|"
                                         "300750,宁德时代,3,3,0,12.30,176.00,2.33,180.10,540.30|")));
    CMoneyStockView view(env.context);
    view.resize(1100, 330);
    view.OnInitialUpdate();
    view.show();
    env.SetQuote("600000", 10.52f);
    env.SetQuote("601398", 5.18f);
    view.RevaluePositions();
    view.List()->selectRow(1);
    ok &= Save(view, folder, QStringLiteral("money-stock-view.png"));
    return ok ? 0 : 1;
}
