#include "account/CsvExport.h"
#include "account/HisJgdView.h"
#include "account/HisMoneyView.h"
#include "account/HisTradeView.h"
#include "account/HisWeituoView.h"
#include "account/ListCtrlCl.h"
#include "account/TodayTradeView.h"
#include "account/TodayWeituoView.h"
#include "core/Gbk.h"
#include "tests/gui/AccountTestClient.h"

#include <QAction>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

using ViewMaker = std::function<std::unique_ptr<CTFormView>(ClientContext&)>;

template <typename View>
ViewMaker Maker() {
    return [](ClientContext& c) { return std::make_unique<View>(c); };
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

class TestCsvExport final : public QObject {
    Q_OBJECT
private slots:
    void fieldQuoting_data();
    void fieldQuoting();
    void everyListOffersTheExport_data();
    void everyListOffersTheExport();
    void exportWritesHeadingsAndRowsAsUtf8WithBom();
    void calcKeepsCodesAsText();
    void cancelledPickerWritesNothing();
    void writeFailureIsReported();
};

void TestCsvExport::fieldQuoting_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain") << QStringLiteral("600000") << QStringLiteral("600000");
    QTest::newRow("leading zero") << QStringLiteral("000001") << QStringLiteral("=\"000001\"");
    QTest::newRow("zero alone") << QStringLiteral("0") << QStringLiteral("0");
    QTest::newRow("zero then text") << QStringLiteral("0.00") << QStringLiteral("0.00");
    QTest::newRow("chinese") << QStringLiteral("浦发银行") << QStringLiteral("浦发银行");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("comma") << QStringLiteral("a,b") << QStringLiteral("\"a,b\"");
    QTest::newRow("quote") << QStringLiteral("say \"hi\"") << QStringLiteral("\"say \"\"hi\"\"\"");
    QTest::newRow("newline") << QStringLiteral("a\nb") << QStringLiteral("\"a\nb\"");
    QTest::newRow("carriage return") << QStringLiteral("a\rb") << QStringLiteral("\"a\rb\"");
    QTest::newRow("trailing blank") << QStringLiteral("卖出 ") << QStringLiteral("\"卖出 \"");
}

void TestCsvExport::fieldQuoting() {
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(CsvField(text), field);
}

void TestCsvExport::everyListOffersTheExport_data() {
    QTest::addColumn<ViewMaker>("make");
    QTest::addColumn<QString>("headings");
    QTest::newRow("当日委托") << Maker<CTodayWeituoView>()
                              << QStringLiteral(
                                     "证券代码,证券名称,委托数量,成交数量,委托价格,成交均价,操作,委托时间,备注,"
                                     "合同编号");
    QTest::newRow("当日成交") << Maker<CTodayTradeView>()
                              << QStringLiteral("成交日期,成交时间,证券代码,证券名称,操 作,成交均价,成交数量,成交金额");
    QTest::newRow("历史委托") << Maker<CHisWeituoView>()
                              << QStringLiteral(
                                     "证券代码,证券名称,委托数量,成交数量,委托价格,成交均价,操作,委托时间,备注");
    QTest::newRow("历史成交") << Maker<CHisTradeView>()
                              << QStringLiteral("成交日期,成交时间,证券代码,证券名称,操 作,成交均价,成交数量,成交金额");
    QTest::newRow("资金明细") << Maker<CHisMoneyView>()
                              << QStringLiteral("日期,摘要,证券代码,证券名称,操作,成交数量,成交均价,发生金额,本次余额");
    QTest::newRow("交 割 单") << Maker<CHisJgdView>()
                              << QStringLiteral("成交日期,证券代码,证券名称,摘要,成交数量,成交均价,成交金额,发生金额,"
                                                "手续费,印花税,过户费,合同编号,其他杂项,股东账号,备注");
}

void TestCsvExport::everyListOffersTheExport() {
    QFETCH(ViewMaker, make);
    QFETCH(QString, headings);
    AccountTestClient client;
    auto view = make(client.context);
    view->OnInitialUpdate();
    auto* list = view->findChild<CListCtrlCl*>(QStringLiteral("id1041"));
    QVERIFY(list);
    auto* exporter = list->findChild<CCsvExport*>();
    QVERIFY(exporter);
    QCOMPARE(exporter->ExportAction()->text(), QStringLiteral("导出CSV"));
    QCOMPARE(list->contextMenuPolicy(), Qt::CustomContextMenu);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.csv"));
    exporter->SetPathPicker([&](QWidget*) { return path; });
    exporter->ExportAction()->trigger();
    const QByteArray bytes = ReadAll(path);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    // Headings only: the list is empty.
    QCOMPARE(bytes.count("\r\n"), 1);
    QCOMPARE(QString::fromUtf8(bytes.mid(3)), headings + QStringLiteral("\r\n"));
}

void TestCsvExport::exportWritesHeadingsAndRowsAsUtf8WithBom() {
    AccountTestClient client;
    client.state.shanghaiAccount = "A1";
    client.state.shenzhenAccount = "B2";
    CHisJgdView view(client.context);
    view.OnInitialUpdate();
    client.notifier.pane = &view;
    client.link.Dispatch(
        net::kCmdSettlement,
        ToGbk(QStringLiteral(
            "20210219,600000,浦发银行,证券卖出,100,10.00,1000.00,998.00,1.00,1.00,0.02,x,C001,V1|"
            "20210220,000001,平安\"银行\",证券买入,200,15.00,3000.00,-3001.00,1.00,0.00,0.00,x,C002,V2|")));
    CListCtrlCl* list = view.List();
    QCOMPARE(list->GetItemCount(), 2);
    list->SetItemText(1, 12, QStringLiteral("a,b\nc")); // text that needs quoting
    list->setRowHidden(0, false);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("交割单.csv"));
    auto* exporter = list->findChild<CCsvExport*>();
    exporter->SetPathPicker([&](QWidget*) { return path; });
    QVERIFY(exporter->Export());

    const QByteArray bytes = ReadAll(path);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QString text = QString::fromUtf8(bytes.mid(3));
    const QString expected = QStringLiteral(
        "成交日期,证券代码,证券名称,摘要,成交数量,成交均价,成交金额,发生金额,手续费,印花税,过户费,合同编号,其他杂项,"
        "股东账号,备注\r\n"
        "20210219,600000,浦发银行,证券卖出,100,10.00,1000.00,998.00,1.00,1.00,0.02,C001,0.000,A1,1\r\n"
        "20210220,=\"000001\",\"平安\"\"银行\"\"\",证券买入,200,15.00,3000.00,-3001.00,1.00,0.00,0.00,C002,"
        "\"a,b\nc\",B2,2\r\n");
    QCOMPARE(text, expected);

    // Hidden rows are not exported.
    list->setRowHidden(0, true);
    QVERIFY(exporter->Export());
    QCOMPARE(QString::fromUtf8(ReadAll(path).mid(3)).count(QStringLiteral("\r\n")), 2);
    QVERIFY(!QString::fromUtf8(ReadAll(path)).contains(QStringLiteral("浦发银行")));
}

namespace {

// The fields of CSV text: quoted fields may hold commas, doubled quotes and line breaks.
QList<QStringList> CsvRows(const QString& text) {
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"')
                field += text.at(++i);
            else if (c == u'"')
                quoted = false;
            else
                field += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            row << std::exchange(field, QString());
        } else if (c == u'\n') {
            row << std::exchange(field, QString());
            rows << std::exchange(row, QStringList());
        } else if (c != u'\r' && c != QChar(0xFEFF)) {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty())
        rows << (row << field);
    return rows;
}

} // namespace

// The export opened by LibreOffice Calc (headless, default import) and written back as CSV:
// every field comes back, codes with their leading zeros and text as written; Calc writes
// numbers its own way (10.00 as 10), so those are compared as numbers.
void TestCsvExport::calcKeepsCodesAsText() {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        QSKIP("soffice (LibreOffice Calc, Debian's libreoffice-calc-nogui) is not installed");
    AccountTestClient client;
    CTodayTradeView view(client.context);
    view.OnInitialUpdate();
    client.notifier.pane = &view;
    client.link.Dispatch(net::kCmdTodayTrades,
                         ToGbk(QStringLiteral("2021-02-19,09:30:01,600000,浦发银行,买入,10.00,100,1000.00|"
                                              "2021-02-19,09:31:02,000001,平安银行,卖出,15.05,200,3010.00|"
                                              "2021-02-19,09:32:03,002594,比亚迪,买入,200.00,100,20000.00|")));
    view.FillTodayTradeList();
    CListCtrlCl* list = view.List();
    QCOMPARE(list->GetItemCount(), 3);
    QTRY_COMPARE(list->GetItemText(0, 2), QStringLiteral("002594")); // newest first
    list->SetItemText(0, 3, QStringLiteral("比亚迪,\"A\""));         // text that needs quoting
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trades.csv"));
    auto* exporter = list->findChild<CCsvExport*>();
    exporter->SetPathPicker([&](QWidget*) { return path; });
    QVERIFY(exporter->Export());

    QProcess calc;
    calc.start(soffice, {QStringLiteral("--headless"), QStringLiteral("--norestore"),
                         QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                         QStringLiteral("--convert-to"), QStringLiteral("csv"), QStringLiteral("--outdir"),
                         dir.filePath(QStringLiteral("out")), path});
    QVERIFY(calc.waitForFinished(150000));
    const QByteArray back = ReadAll(dir.filePath(QStringLiteral("out/trades.csv")));
    QVERIFY2(!back.isEmpty(), calc.readAllStandardError().constData());

    const QList<QStringList> expected = {
        {u"成交日期"_s, u"成交时间"_s, u"证券代码"_s, u"证券名称"_s, u"操 作"_s, u"成交均价"_s, u"成交数量"_s,
         u"成交金额"_s},
        {u"2021-02-19"_s, u"09:32:03"_s, u"002594"_s, u"比亚迪,\"A\""_s, u"买入"_s, u"200.00"_s, u"100"_s,
         u"20000.00"_s},
        {u"2021-02-19"_s, u"09:31:02"_s, u"000001"_s, u"平安银行"_s, u"卖出"_s, u"15.05"_s, u"200"_s, u"3010.00"_s},
        {u"2021-02-19"_s, u"09:30:01"_s, u"600000"_s, u"浦发银行"_s, u"买入"_s, u"10.00"_s, u"100"_s, u"1000.00"_s},
    };
    const QList<QStringList> rows = CsvRows(QString::fromUtf8(back));
    QCOMPARE(rows.size(), expected.size());
    for (qsizetype r = 0; r < rows.size(); ++r) {
        QCOMPARE(rows[r].size(), expected[r].size());
        for (qsizetype c = 0; c < rows[r].size(); ++c) {
            const bool number = r > 0 && c >= 5; // 成交均价, 成交数量, 成交金额
            bool ok = !number;
            if (number)
                QCOMPARE(rows[r][c].toDouble(&ok), expected[r][c].toDouble());
            else
                QCOMPARE(rows[r][c], expected[r][c]);
            QVERIFY2(ok, qPrintable(rows[r][c]));
        }
    }
}

void TestCsvExport::cancelledPickerWritesNothing() {
    AccountTestClient client;
    ModalRecorder modal;
    CTodayTradeView view(client.context);
    view.OnInitialUpdate();
    auto* exporter = view.List()->findChild<CCsvExport*>();
    int asked = 0;
    exporter->SetPathPicker([&](QWidget*) {
        ++asked;
        return QString();
    });
    QVERIFY(!exporter->Export());
    QCOMPARE(asked, 1);
    QVERIFY(modal.Texts().isEmpty());
}

void TestCsvExport::writeFailureIsReported() {
    AccountTestClient client;
    ModalRecorder modal;
    CTodayWeituoView view(client.context);
    view.OnInitialUpdate();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/folder/out.csv"));
    auto* exporter = view.List()->findChild<CCsvExport*>();
    exporter->SetPathPicker([&](QWidget*) { return path; });
    QVERIFY(!exporter->Export());
    QCOMPARE(modal.Texts().size(), 1);
    QVERIFY(modal.Texts().front().startsWith(QStringLiteral("导出CSV失败")));
    QVERIFY(modal.Texts().front().contains(QStringLiteral("out.csv")));
    QVERIFY(!QFile::exists(path));
}

QTEST_MAIN(TestCsvExport)
#include "tst_CsvExport.moc"
