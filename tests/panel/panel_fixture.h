#pragma once
// The two windows as the program builds them, with a recording message-box service, and the
// helpers the panel tests share.

#include "console/form1.h"
#include "console/form2.h"
#include "console/widgets/message_box.h"
#include "link/serial_event.h"
#include "tests/console/widget_test_support.h"
#include "tests/support/pty_peer.h"
#include "tests/support/qt_wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <poll.h>
#include <unistd.h>
#include <vector>

// Reads exactly count bytes from the peer, pumping events meanwhile; fewer when timeoutMs passes.
inline std::vector<uint8_t> readBytes(const PtyPeer& peer, size_t count, int timeoutMs = 2000) {
    std::vector<uint8_t> out;
    QElapsedTimer timer;
    timer.start();
    while (out.size() < count && timer.elapsed() <= timeoutMs) {
        pollfd p{peer.fd(), POLLIN, 0};
        if (::poll(&p, 1, 2) == 1 && (p.revents & POLLIN)) {
            uint8_t buf[64];
            const size_t want = std::min(sizeof buf, count - out.size());
            const ssize_t n = ::read(peer.fd(), buf, want);
            if (n > 0) {
                out.insert(out.end(), buf, buf + n);
            }
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return out;
}

using Bytes = std::vector<uint8_t>;

class PanelTest : public ::testing::Test {
protected:
    PanelTest() : form1(link, boxes, nullptr), form2(form1, boxes) { form1.setPanel(&form2); }

    QStringList listLines() const {
        QStringList lines;
        for (int i = 0; i < form2.ListBox1->count(); ++i) {
            lines << form2.ListBox1->item(i)->text();
        }
        return lines;
    }

    Tserial_event link;
    RecordingMessageBoxService boxes;
    TForm1 form1;
    TForm2 form2;
};

// The panel with its main window connected to a pseudo-terminal peer. The command cycle is
// stopped so that only the panel's frames reach the peer.
class PanelLinkTest : public PanelTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        form1.Timer2->stop();
        form1.Timer3->stop();
        form1.portName = QString::fromStdString(peer.path());
        form1.Button1Click();
        ASSERT_TRUE(waitUntil([&] { return form1.portOpen.load(); }));
        ASSERT_TRUE(waitUntil([&] { return !boxes.calls().empty(); }));
    }

    // Waits until the engine is ready for the next frame (it drops one offered while busy).
    void waitWriteDone() {
        ASSERT_TRUE(waitUntil([&] { return !link.is_write_pending(); }));
    }

    PtyPeer peer;
};
