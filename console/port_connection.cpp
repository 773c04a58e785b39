#include "console/port_connection.h"

#include "console/ports/open_failure.h"
#include "recording/link_recorder.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>

namespace {

const QString kOpenFailedCaption = QStringLiteral("Blad otwarcia portu COM");
const QString kNoticeCaption = QStringLiteral("OK");

void linkCallback(Tserial_event* link, int code) {
    if (auto* connection = static_cast<PortConnection*>(link->user_data()))
        connection->handleLinkEvent(link, code);
}

} // namespace

PortConnection::PortConnection(Tserial_event& link, MessageBoxService& boxes, RobotState& state,
                               RobotDisplay& display, QObject* parent)
    : QObject(parent), link_(link), boxes_(boxes), state_(state), display_(display) {
    link_.set_user_data(this);
    link_.set_event_callback(linkCallback);
}

PortConnection::~PortConnection() {
    // The worker's callback reaches this object: stop it while everything it uses still exists.
    link_.stop_worker();
    link_.set_event_callback(nullptr);
    link_.set_user_data(nullptr);
}

void PortConnection::Button1Click() {
    if (portOpen.load() || connectionActive_) {
        boxes_.show(QStringLiteral("Jeden z portow juz zostal otwarty."), kOpenFailedCaption,
                    MessageBoxService::Buttons::Ok, MessageBoxService::Icon::Information);
        return;
    }
    link_.set_read_chunk(readChunk);
    const QByteArray name = portName.toUtf8();
    // The engine takes the name up to its first NUL: a name with a NUL inside would open the
    // device named by its first part, which is not the port the operator gave.
    const bool engineAsked = !name.contains('\0');
    const int result =
        engineAsked ? link_.open_port(name.constData(), portRate, 0, 8, false) : OPEN_ERR_DEVICE;
    if (result != OPEN_OK) {
        // The cause as the engine met it opening the device, and the machine right after.
        std::vector<std::string> why;
        if (engineAsked) {
            const std::string given = name.toStdString();
            why = ports::openFailureLines(ports::examineOpenFailure(
                given, Tserial_event::device_path(given), link_.last_open_error(), portSource_));
        }
        // In the log before the box comes up, so that the reason stands beside it.
        for (const std::string& line : why)
            emit logLine(QString::fromStdString(line));
        noticeText = QStringLiteral("Nie mozna otworzyc portu %1").arg(portName);
        boxes_.show(noticeText, kOpenFailedCaption, MessageBoxService::Buttons::Ok,
                    MessageBoxService::Icon::Information);
        return;
    }
    connectionActive_ = true;
    if (onConnected_)
        onConnected_();
}

void PortConnection::Button2Click() {
    if (portOpen.load() || connectionActive_) {
        offerLastFrame();
        link_.close_port();
    }
}

void PortConnection::shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    offerLastFrame();
    link_.stop_worker();
}

bool PortConnection::offerLastFrame() {
    // A line already gone gets nothing and waits for nothing.
    if (!lastFrame_ || !link_.worker_running())
        return false;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(lastFrameWaitMs);
    const auto left = [&deadline] {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return int(std::max<decltype(ms)>(ms, 0));
    };
    // A write still under way would refuse the frame: let it finish first. Then the frame must be
    // written before close_port raises the stop request, which the worker serves before a write
    // request raised a moment earlier.
    if (!link_.wait_write_done(left()))
        return false;
    lastFrame_();
    return link_.wait_write_done(left());
}

void PortConnection::handleLinkEvent(Tserial_event* link, int code) {
    switch (code) {
    case LINK_OPENED:
        portOpen.store(true); // before the opened notice is even queued
        queueLinkWork(link, code);
        break;
    case LINK_DATA: {
        // The next read waits for the acknowledgement, so the stamp holds while it is decoded.
        const int64_t at = LinkRecorder::nowUs();
        chunkAtUs_.store(at, std::memory_order_relaxed);
        if (recorder_)
            recorder_->received(link->received_data(), link->received_count(), at);
        queueLinkWork(link, code);
        break;
    }
    case LINK_CLOSED:
        queueLinkWork(link, code);
        break;
    default:
        break;
    }
}

void PortConnection::queueLinkWork(Tserial_event* link, int code) {
    {
        std::lock_guard<std::mutex> lock(mailboxLock_);
        mailbox_.push_back(LinkWork{link, code});
    }
    QMetaObject::invokeMethod(this, "takeLinkWork", Qt::QueuedConnection);
}

void PortConnection::takeLinkWork() {
    {
        std::lock_guard<std::mutex> lock(mailboxLock_);
        if (shutDown_) {
            mailbox_.clear(); // the window is closing: no notice, nothing more to show
            pending_.clear();
            return;
        }
        while (!mailbox_.empty()) {
            pending_.push_back(mailbox_.front());
            mailbox_.pop_front();
        }
    }
    runLinkWork();
}

void PortConnection::runLinkWork() {
    // A notice waits for the operator in a nested event loop; work queued meanwhile waits here
    // until the notice is dismissed, so the events keep their order.
    if (runningWork_)
        return;
    runningWork_ = true;
    while (!pending_.empty() && !shutDown_) {
        const LinkWork work = pending_.front();
        pending_.pop_front();
        switch (work.code) {
        case LINK_OPENED:
            decoder.resetStream(); // nothing of an earlier connection completes a frame
            showOpenedNotice();
            if (onLinkOpened_ && !shutDown_)
                onLinkOpened_();
            break;
        case LINK_CLOSED:
            showClosedNotice();
            break;
        case LINK_DATA:
            handleRobotData(work.link);
            break;
        }
    }
    if (shutDown_)
        pending_.clear();
    runningWork_ = false;
}

void PortConnection::showOpenedNotice() {
    noticeText = QStringLiteral("Otwarto port %1\n Predkosc: %2 kb/s")
                     .arg(portName, QString::number(portRate));
    boxes_.show(noticeText, kNoticeCaption, MessageBoxService::Buttons::Ok,
                MessageBoxService::Icon::Information);
}

void PortConnection::showClosedNotice() {
    if (onLinkClosed_)
        onLinkClosed_();
    noticeText = QStringLiteral("Zamknieto port %1").arg(portName);
    boxes_.show(noticeText, kNoticeCaption, MessageBoxService::Buttons::Ok,
                MessageBoxService::Icon::Information);
    portOpen.store(false);
    connectionActive_ = false;
}

void PortConnection::handleRobotData(Tserial_event* link) {
    decoder.handleChunk(link->received_data(), link->received_count(), portOpen.load(), state_,
                        display_, onReply_);
    link->acknowledge_data();
}
