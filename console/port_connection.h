#pragma once
// The console's side of the serial link: the connection settings, the connect and disconnect
// commands with their messages, the link notices, the port-open flag, and the hand-over of every
// link event from the engine's worker thread to the GUI thread, where received chunks are
// decoded, shown and only then acknowledged.
//
// The worker never waits for the GUI thread: its callback only sets portOpen on LINK_OPENED and
// queues the work. The GUI thread handles the queued link events strictly one after another, so
// while a notice waits for the operator, later events (and with them the acknowledgement of
// received data) wait behind it, as they would behind a blocked worker; a disconnect meanwhile
// stops the worker at once.

#include "console/ports/port_list.h"
#include "console/widgets/message_box.h"
#include "link/serial_event.h"
#include "protocol/reply_decoder.h"
#include "protocol/robot_state.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

class LinkRecorder;

class PortConnection : public QObject {
    Q_OBJECT
public:
    PortConnection(Tserial_event& link, MessageBoxService& boxes, RobotState& state,
                   RobotDisplay& display, QObject* parent = nullptr);
    ~PortConnection() override;

    // Set when the engine reports LINK_OPENED (on its worker), cleared after the closed notice
    // has been dismissed.
    std::atomic<bool> portOpen{false};
    QString portName = QStringLiteral("COM7");
    int32_t portRate = 57600;
    QString noticeText;
    ReplyDecoder decoder;

    static constexpr int readChunk = LinkReadSize;

    void Button1Click(); // connect
    // Lines for the log (Memo1), from the connect command: beside the message box of a port
    // that did not open, why it did not (permission denied, in use and by whom, ModemManager,
    // no such device with the ports present), written just before the box comes up.
    Q_SIGNAL void logLine(const QString& line);
    // Where the ports present on the machine are listed for those lines (the panel's source);
    // none: they are not listed.
    void setPortSource(const ports::PortSource* source) { portSource_ = source; }
    // Disconnect: the last frame first, written before the close (see setLastFrame).
    void Button2Click();
    // The main window closes: the last frame first, then the worker is stopped; no notice
    // follows (link events still on their way are dropped).
    void shutdown();

    // The frame that goes on the line before the operator's disconnect or the closing of the
    // main window lets it go: the main window offers the stop frame of the chosen unit here.
    // It is offered only while the worker runs, after any write under way has been written, and
    // waited for until the engine has written it: at most lastFrameWaitMs for both waits. A line
    // already gone gets nothing and waits for nothing.
    void setLastFrame(std::function<void()> offer) { lastFrame_ = std::move(offer); }
    static constexpr int lastFrameWaitMs = 80;
    // Run on the GUI thread when the engine's LINK_CLOSED is handled, before the closed notice.
    void setOnLinkClosed(std::function<void()> hook) { onLinkClosed_ = std::move(hook); }
    // Run on the GUI thread once the opened notice has been dismissed: from then on the robot's
    // replies are read.
    void setOnLinkOpened(std::function<void()> hook) { onLinkOpened_ = std::move(hook); }
    // Run on the GUI thread while the port is open for every frame decoded, with its kind and
    // address byte, and for every run of bytes refused (None, address -1), in the order received,
    // before the chunk that completed them is acknowledged.
    void setOnReply(std::function<void(ReplyKind, int)> hook) { onReply_ = std::move(hook); }
    // Run on the GUI thread as soon as open_port has succeeded, before the worker reports
    // anything.
    void setOnConnected(std::function<void()> hook) { onConnected_ = std::move(hook); }

    // Every chunk the engine reads goes to the recorder as the worker delivers it, before the GUI
    // thread sees it. Set before the first connection; it must outlive the worker.
    void setRecorder(LinkRecorder* recorder) { recorder_ = recorder; }
    // While a chunk is decoded (GUI thread): when the worker delivered it, LinkRecorder::nowUs().
    int64_t chunkTimeUs() const { return chunkAtUs_.load(std::memory_order_relaxed); }

    // The engine's callback, on its worker thread.
    void handleLinkEvent(Tserial_event* link, int code);
    // LINK_DATA on the GUI thread: decode, show, acknowledge last.
    void handleRobotData(Tserial_event* link);

    // A connection is under way from a successful open_port until its closed notice has been
    // dismissed; no second open happens meanwhile.
    bool connectionActive() const { return connectionActive_; }

private:
    // Worker side: posts the event to the mailbox and asks the GUI thread to take it.
    void queueLinkWork(Tserial_event* link, int code);
    // GUI side, by a queued call: moves what the mailbox holds into pending_ and runs it.
    Q_INVOKABLE void takeLinkWork();
    void runLinkWork();
    void showOpenedNotice();
    void showClosedNotice();
    // Offers the last frame and waits, bounded, until it is written; true when it was.
    bool offerLastFrame();

    struct LinkWork {
        Tserial_event* link;
        int code;
    };

    Tserial_event& link_;
    MessageBoxService& boxes_;
    RobotState& state_;
    RobotDisplay& display_;
    std::deque<LinkWork> pending_;
    // Link events on their way from the worker to the GUI thread, in order. The lock is held
    // only to move entries in or out, never while waiting for anything, so the worker never
    // waits on the GUI thread's work; it also makes the order of the hand-over visible to
    // ThreadSanitizer, which does not see the locks inside Qt's event queue.
    std::mutex mailboxLock_;
    std::deque<LinkWork> mailbox_;
    bool runningWork_ = false;
    bool connectionActive_ = false;
    bool shutDown_ = false;
    std::function<void()> lastFrame_;
    std::function<void()> onLinkClosed_;
    std::function<void()> onConnected_;
    std::function<void()> onLinkOpened_;
    std::function<void(ReplyKind, int)> onReply_;
    const ports::PortSource* portSource_ = nullptr;
    LinkRecorder* recorder_ = nullptr;
    std::atomic<int64_t> chunkAtUs_{0};
};
