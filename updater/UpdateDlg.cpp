#include "updater/UpdateDlg.h"

#include "updater/AboutDlg.h"
#include "updater/AppIcon.h"
#include "updater/DialogUnits.h"
#include "updater/DownloadWorker.h"
#include "updater/ProgressQueue.h"
#include "updater/ThreadHandOver.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>

namespace {

QFont DialogFont() {
    const QStringList families = QFontDatabase::families();
    for (const QString& family : {QStringLiteral("宋体"), QStringLiteral("SimSun")}) {
        if (families.contains(family))
            return QFont(family, 9);
    }
    return QFont(QStringLiteral("WenQuanYi Micro Hei"), 9);
}

QLineEdit* AddDisplay(QWidget* parent, const char* id, const QRect& geometry) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(id));
    edit->setGeometry(geometry);
    edit->setEnabled(false);
    return edit;
}

void AddLabel(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
}

} // namespace

CUpdateDlg::CUpdateDlg(QString url, QWidget* parent)
    : QDialog(parent)
    , m_url(std::move(url)) {
    setObjectName(QStringLiteral("id102"));
    setWindowTitle(tr("Quorvex更新"));
    setWindowIcon(UpdaterIcon());
    setFont(DialogFont());
    setFixedSize(DluX(250), DluY(123));
    BuildControls();

    m_aboutAction = new QAction(tr("关于(&A)..."), this);
    m_aboutAction->setObjectName(QStringLiteral("id16"));
    m_aboutAction->setShortcut(QKeySequence(Qt::Key_F1));
    m_aboutAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_aboutAction, &QAction::triggered, this, &CUpdateDlg::ShowAbout);
    addAction(m_aboutAction);

    m_thread.setObjectName(QStringLiteral("download"));
}

CUpdateDlg::~CUpdateDlg() {
    // A download still running is abandoned; its partial file stays on disk.
    EndWorker();
    m_thread.wait();
}

void CUpdateDlg::BuildControls() {
    AddLabel(this, tr("文件大小:"), DluRect(14, 14, 40, 10));
    m_size = AddDisplay(this, "id1008", DluRect(56, 12, 64, 13));
    AddLabel(this, tr("已下载:"), DluRect(132, 14, 34, 10));
    m_received = AddDisplay(this, "id1009", DluRect(168, 12, 68, 13));
    AddLabel(this, tr("当前速度:"), DluRect(14, 34, 40, 10));
    m_speed = AddDisplay(this, "id1001", DluRect(56, 32, 64, 13));

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("id1003"));
    m_progress->setGeometry(DluRect(14, 56, 186, 12));
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_percent = AddDisplay(this, "id1004", DluRect(204, 55, 32, 13));

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("id1007"));
    m_status->setGeometry(DluRect(14, 80, 222, 30));
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText);
}

void CUpdateDlg::StartDownload() {
    if (m_started)
        return;
    m_started = true;
    if (m_url.isEmpty())
        return;

    m_progressQueue = std::make_shared<ProgressQueue>();
    m_worker = new CDownloadWorker(m_url, m_progressQueue);
    m_worker->SetStallTimeout(m_stallTimeout);
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(&m_thread, &QThread::started, m_worker, &CDownloadWorker::Start);
    connect(m_worker, &CDownloadWorker::statusChanged, m_status, &QLabel::setText);
    connect(m_worker, &CDownloadWorker::progressRangeChanged, this, [this](int maximum) {
        m_progress->setRange(0, maximum);
        m_progress->setValue(0);
    });
    connect(m_worker, &CDownloadWorker::progressAvailable, this, &CUpdateDlg::ShowProgress);
    connect(m_worker, &CDownloadWorker::openFailed, this, &CUpdateDlg::OnOpenFailed);
    connect(m_worker, &CDownloadWorker::ended, this, &CUpdateDlg::OnEnded);
    SetState(State::kDownloading);
    m_thread.start();
}

void CUpdateDlg::SetState(State state) {
    m_state = state;
    emit stateChanged(state);
}

void CUpdateDlg::ShowProgress() {
    // Every read's figures are applied in order; the screen repaints the latest.
    for (const DownloadFigures& figures : m_progressQueue->TakeAll())
        ShowFigures(figures);
}

void CUpdateDlg::ShowFigures(const DownloadFigures& figures) {
    // Texts are rebuilt only when their number changed: most reads move the bar alone.
    const bool all = !m_shown.has_value();
    const DownloadFigures previous = m_shown.value_or(DownloadFigures{});
    if (all || figures.sizeKilobytes != previous.sizeKilobytes)
        m_size->setText(KilobytesText(figures.sizeKilobytes));
    if (all || figures.receivedKilobytes != previous.receivedKilobytes)
        m_received->setText(KilobytesText(figures.receivedKilobytes));
    if (all || figures.speedKilobytesPerSecond != previous.speedKilobytesPerSecond)
        m_speed->setText(SpeedText(figures.speedKilobytesPerSecond));
    if (all || figures.percent != previous.percent)
        m_percent->setText(PercentText(figures.percent));
    if (m_progress->maximum() != figures.progressMaximum)
        m_progress->setRange(0, figures.progressMaximum);
    m_progress->setValue(figures.progressValue);
    m_shown = figures;
}

void CUpdateDlg::EndWorker() {
    // The worker is deleted on its own thread once that has quit, so after everything this
    // window did with it, its signals' slots included (their connections go with it).
    if (m_progressQueue)
        HandOverRelease(m_progressQueue.get());
    m_thread.quit();
}

void CUpdateDlg::OnOpenFailed() {
    // The worker's last signal.
    EndWorker();
    SetState(State::kOpenFailed);
    auto* box = new QMessageBox(QMessageBox::NoIcon, tr("通知"), tr("更新失败"), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("openFailedBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void CUpdateDlg::OnEnded(bool succeeded) {
    // The worker's last signal.
    EndWorker();
    ShowProgress();
    m_speed->setText(tr("Kb/秒"));
    m_percent->setText(QStringLiteral("0%"));
    if (succeeded && m_progress->maximum() == 0) {
        // Size unknown: the bar stops its busy animation and stands at its end.
        m_progress->setRange(0, 1);
        m_progress->setValue(1);
    }
    SetState(succeeded ? State::kCompleted : State::kFailed);
}

void CUpdateDlg::ShowAbout() {
    if (!m_about)
        m_about = new CAboutDlg(this);
    m_about->open();
}

void CUpdateDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(m_aboutAction);
    menu.exec(event->globalPos());
}

void CUpdateDlg::keyPressEvent(QKeyEvent* event) {
    // The dialog has no buttons of its own: Enter closes it like Escape does.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
