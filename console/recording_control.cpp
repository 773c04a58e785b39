#include "console/recording_control.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>

namespace {

const QString kNoticeCaption = QStringLiteral("Nagrywanie");

QString elapsedText(qint64 ms) {
    const qint64 s = ms / 1000;
    return s >= 3600 ? QStringLiteral("%1:%2:%3")
                           .arg(s / 3600)
                           .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                           .arg(s % 60, 2, 10, QLatin1Char('0'))
                     : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString sizeText(uint64_t bytes) {
    return bytes < 1000000 ? QStringLiteral("%1 kB").arg((bytes + 999) / 1000)
                           : QStringLiteral("%1 MB").arg(double(bytes) / 1e6, 0, 'f', 1);
}

QString fileName(const std::string& path) {
    return QFileInfo(QFile::decodeName(path.c_str())).fileName();
}

} // namespace

RecordingControl::RecordingControl(LinkRecorder& recorder, MessageBoxService& boxes,
                                   QWidget* parent)
    : QWidget(parent), RecordButton(new QToolButton(this)), RecordStatus(new QLabel(this)),
      recorder_(recorder), boxes_(boxes), tick_(new QTimer(this)) {
    RecordButton->setObjectName("RecordButton");
    RecordStatus->setObjectName("RecordStatus");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(RecordButton);
    layout->addWidget(RecordStatus, 1);

    RecordButton->setText(QString::fromUtf8("\u25CF REC"));
    RecordButton->setCheckable(true);
    RecordButton->setFocusPolicy(Qt::NoFocus); // the keys stay the drive's
    RecordButton->setPopupMode(QToolButton::MenuButtonPopup);
    RecordButton->setStyleSheet(QStringLiteral(
        "QToolButton { color: #ff4040; background: black; border: 1px solid #006060;"
        " font: bold 12px; padding: 1px 14px 1px 4px; }"
        "QToolButton:checked { background: #b00000; color: white; }"
        "QToolButton::menu-button { border-left: 1px solid #006060; width: 12px; }"));
    auto* menu = new QMenu(RecordButton);
    menu->setObjectName("RecordMenu");
    QAction* where = menu->addAction(QString());
    where->setEnabled(false);
    menu->addAction(QStringLiteral("Choose the &folder..."), this, &RecordingControl::chooseFolder);
    connect(menu, &QMenu::aboutToShow, this,
            [this, where] { where->setText(QStringLiteral("Recordings go to ") + folder_); });
    RecordButton->setMenu(menu);
    connect(RecordButton, &QToolButton::clicked, this, [this] { recording() ? stop() : start(); });

    QPalette pal = RecordStatus->palette();
    pal.setColor(QPalette::WindowText, QColor(255, 64, 64));
    RecordStatus->setPalette(pal);
    QFont font = RecordStatus->font();
    font.setFamilies({"Courier New", "Liberation Mono", "DejaVu Sans Mono", "monospace"});
    font.setPixelSize(13);
    RecordStatus->setFont(font);

    tick_->setInterval(1000);
    connect(tick_, &QTimer::timeout, this, &RecordingControl::showStatus);
    setFolder(defaultFolder());
    showStatus();
}

QString RecordingControl::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

void RecordingControl::setFolder(const QString& folder) {
    folder_ = folder;
    RecordButton->setToolTip(QStringLiteral("Record the link to %1 (the arrow: another folder)")
                                 .arg(QDir::toNativeSeparators(folder_)));
}

void RecordingControl::chooseFolder() {
    const QString from = QFileInfo(folder_).isDir() ? folder_ : QDir::homePath();
    const QString picked = QFileDialog::getExistingDirectory(
        window(), QStringLiteral("Folder for recordings"), from, QFileDialog::ShowDirsOnly);
    if (picked.isEmpty())
        return;
    setFolder(picked);
    emit logLine(QStringLiteral("> recordings go to %1").arg(picked));
}

void RecordingControl::start() {
    if (recorder_.running())
        return;
    LinkRecorder::Start s;
    s.folder = QFile::encodeName(folder_).toStdString();
    s.port = portName_ ? portName_().toStdString() : std::string();
    s.epochUs = QDateTime::currentMSecsSinceEpoch() * 1000;
    s.monotonicUs = LinkRecorder::nowUs();
    // The writer's thread tells of a failure; the control takes it on its own thread.
    recorder_.start(s, [this](uint32_t session, const std::string& reason) {
        {
            std::lock_guard<std::mutex> lock(failuresLock_);
            failures_.emplace_back(session, reason);
        }
        QMetaObject::invokeMethod(this, "takeFailures", Qt::QueuedConnection);
    });
    since_.start();
    tick_->start();
    emit logLine(QStringLiteral("> recording to %1").arg(folder_));
    showStatus();
}

void RecordingControl::stop(bool say) {
    if (!recorder_.running())
        return;
    const std::optional<std::string> error = recorder_.stop();
    tick_->stop();
    showStatus();
    const LinkRecorder::Status s = recorder_.status();
    if (error) {
        failed(0, QString::fromLocal8Bit(error->c_str()));
        return;
    }
    // A failure on its way to takeFailures tells of it; the files were not saved whole.
    if (say && s.failure.empty())
        emit logLine(QStringLiteral("> recording saved: %1, %2 (%3 chunks, %4 telemetry rows%5)")
                         .arg(fileName(s.capturePath), fileName(s.csvPath))
                         .arg(s.rxLines)
                         .arg(s.csvRows)
                         .arg(s.lost > 0 ? QStringLiteral(", %1 lost").arg(s.lost) : QString()));
}

void RecordingControl::portOpened(const QString& port) {
    recorder_.opened(port.toStdString(), LinkRecorder::nowUs());
}

void RecordingControl::linkClosed() {
    stop();
}

void RecordingControl::takeFailures() {
    std::vector<std::pair<uint32_t, std::string>> taken;
    {
        std::lock_guard<std::mutex> lock(failuresLock_);
        taken.swap(failures_);
    }
    for (const auto& [session, reason] : taken)
        failed(session, QString::fromLocal8Bit(reason.c_str()));
}

void RecordingControl::failed(uint32_t session, const QString& reason) {
    // A failure of the recording that runs stops it; one of a recording already ended is still
    // told: its files end early.
    if (session != 0 && recorder_.session() == session) {
        recorder_.stop();
        tick_->stop();
    }
    showStatus();
    emit logLine(QStringLiteral("> recording stopped: %1").arg(reason));
    boxes_.show(QStringLiteral("Nagrywanie przerwane:\n%1").arg(reason), kNoticeCaption,
                MessageBoxService::Buttons::Ok, MessageBoxService::Icon::Information);
}

void RecordingControl::showStatus() {
    RecordButton->setChecked(recorder_.running());
    if (!recorder_.running()) {
        RecordStatus->clear();
        return;
    }
    const LinkRecorder::Status s = recorder_.status();
    QString text =
        QStringLiteral("REC %1  %2").arg(elapsedText(since_.elapsed()), sizeText(s.bytes));
    if (s.lost > 0)
        text += QStringLiteral("  %1 lost").arg(s.lost);
    RecordStatus->setText(text);
}
