// The port box with the machine's ports: the twelve COM items first, the ports found after
// them, the list refreshed each time it opens without touching the box's text or portName, and
// a picture of the opened list. Then the log lines for a port that does not open: the cases
// with a device the user may not open skip as root; scripts/test.sh runs them, and the busy
// ones, as user nobody too (panel_tests --gtest_filter='PortPermission.*:PortBusy.*').

#include "panel_fixture.h"

#include "console/ports/port_list.h"
#include "tests/ports/fake_port_source.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

const std::string kById = "/dev/serial/by-id/";
const std::string kFtdiA = kById + "usb-FTDI_FT232R_USB_UART_A0001-if00-port0";
const std::string kFtdiB = kById + "usb-FTDI_FT232R_USB_UART_B0001-if00-port0";

class PortBoxTest : public PanelTest {
protected:
    PortBoxTest() {
        QObject::connect(form2.ComboBox1, &QComboBox::currentTextChanged, form2.ComboBox1,
                         [this](const QString& text) { textChanges << text; });
        QObject::connect(form2.ComboBox1, &QComboBox::editTextChanged, form2.ComboBox1,
                         [this](const QString& text) { editChanges << text; });
    }
    ~PortBoxTest() override {
        form2.ComboBox1->hidePopup();
        form2.setPortSource(nullptr); // back to the machine before the fake goes away
    }

    void plugFtdiA() {
        ports.found.push_back(
            FakePortSource::adapter("/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A0001"));
        ports.links.push_back({kFtdiA, "/dev/ttyUSB0"});
    }
    void plugFtdiB() {
        ports.found.push_back(
            FakePortSource::adapter("/dev/ttyUSB1", "FT232R USB UART", "FTDI", "B0001"));
        ports.links.push_back({kFtdiB, "/dev/ttyUSB1"});
    }
    void unplugAll() {
        ports.found.clear();
        ports.links.clear();
    }

    QStringList items() const {
        QStringList texts;
        for (int i = 0; i < form2.ComboBox1->count(); ++i)
            texts << form2.ComboBox1->itemText(i);
        return texts;
    }
    static QStringList comItems() {
        QStringList texts;
        for (int n = 1; n <= 12; ++n)
            texts << QString("COM%1").arg(n);
        return texts;
    }

    // Opens the list as the operator does and closes it again.
    void openList() {
        form2.ComboBox1->showPopup();
        pumpFor(10);
        form2.ComboBox1->hidePopup();
    }

    // The box shows text, portName is name, and nothing reached ComboBox1Change.
    void expectUntouched(const QString& text, const QString& name) {
        EXPECT_EQ(form2.ComboBox1->currentText(), text);
        EXPECT_EQ(form2.ComboBox1->lineEdit()->text(), text);
        EXPECT_EQ(form1.portName, name);
        EXPECT_TRUE(textChanges.isEmpty()) << textChanges.join(", ").toStdString();
        EXPECT_TRUE(editChanges.isEmpty()) << editChanges.join(", ").toStdString();
    }

    FakePortSource ports;
    QStringList textChanges;
    QStringList editChanges;
};

TEST_F(PortBoxTest, PortsFoundFollowTheTwelveComItems) {
    plugFtdiB();
    plugFtdiA();
    ports.found.push_back(FakePortSource::bare("/dev/ttyS0"));
    form2.setPortSource(&ports);

    // In the natural order of the kernel names: ttyS0, ttyUSB0, ttyUSB1.
    EXPECT_EQ(items(), comItems() << "/dev/ttyS0" << QString::fromStdString(kFtdiA)
                                  << QString::fromStdString(kFtdiB));
    // The second lines tell the two cables of one kind apart, and carry the kernel names.
    EXPECT_EQ(form2.ComboBox1->itemDetail(12), "ttyS0 (COM1)");
    EXPECT_EQ(form2.ComboBox1->itemDetail(13),
              QString::fromUtf8("ttyUSB0 \u00b7 FT232R USB UART \u00b7 FTDI \u00b7 SN A0001"));
    EXPECT_EQ(form2.ComboBox1->itemDetail(14),
              QString::fromUtf8("ttyUSB1 \u00b7 FT232R USB UART \u00b7 FTDI \u00b7 SN B0001"));
    EXPECT_TRUE(
        form2.ComboBox1->itemData(13, Qt::ToolTipRole).toString().contains("Serial number: A0001"));
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(form2.ComboBox1->itemDetail(i).isEmpty()) << i;

    // The box still starts with COM7 chosen.
    EXPECT_EQ(form2.ComboBox1->currentIndex(), 6);
    expectUntouched("COM7", "COM7");

    // Choosing a found port puts its path into portName, as any item does.
    form2.ComboBox1->setCurrentIndex(14);
    EXPECT_EQ(form1.portName, QString::fromStdString(kFtdiB));
    // The box shows only the end of so long a path; its tooltip tells the whole, then what the
    // item knows besides, without naming it twice.
    const QString tip = form2.ComboBox1->toolTip();
    EXPECT_TRUE(tip.startsWith(QString::fromStdString(kFtdiB) + "\nDevice: /dev/ttyUSB1\n"))
        << tip.toStdString();
    EXPECT_TRUE(tip.contains("Serial number: B0001") && tip.count("B0001") == 2)
        << tip.toStdString();
    form2.ComboBox1->setCurrentIndex(2);
    EXPECT_EQ(form1.portName, "COM3");
    EXPECT_EQ(form2.ComboBox1->toolTip(), "COM3");
}

TEST_F(PortBoxTest, OpeningTheListLooksAgain) {
    form2.setPortSource(&ports);
    EXPECT_EQ(items(), comItems());
    const int looked = ports.portCalls;

    plugFtdiA(); // plugged in after start
    openList();
    EXPECT_EQ(ports.portCalls, looked + 1);
    EXPECT_EQ(items(), comItems() << QString::fromStdString(kFtdiA));

    unplugAll(); // and pulled out again
    openList();
    EXPECT_EQ(ports.portCalls, looked + 2);
    EXPECT_EQ(items(), comItems());
    expectUntouched("COM7", "COM7");
}

TEST_F(PortBoxTest, RefreshKeepsATypedName) {
    form2.setPortSource(&ports);
    QLineEdit* edit = form2.ComboBox1->lineEdit();
    edit->clear();
    typeText(edit, "/tmp/zelk-robot");
    ASSERT_EQ(form1.portName, "/tmp/zelk-robot");
    EXPECT_EQ(form2.ComboBox1->toolTip(), "/tmp/zelk-robot"); // followed key by key
    edit->setCursorPosition(5);
    textChanges.clear();
    editChanges.clear();

    plugFtdiA();
    openList();
    EXPECT_EQ(form2.ComboBox1->count(), 13);
    expectUntouched("/tmp/zelk-robot", "/tmp/zelk-robot");

    unplugAll();
    openList();
    EXPECT_EQ(form2.ComboBox1->count(), 12);
    expectUntouched("/tmp/zelk-robot", "/tmp/zelk-robot");

    // Nothing new: the box is not touched at all, not even the cursor in the typed name.
    edit->setCursorPosition(5);
    openList();
    EXPECT_EQ(edit->cursorPosition(), 5);
    expectUntouched("/tmp/zelk-robot", "/tmp/zelk-robot");
}

TEST_F(PortBoxTest, RefreshKeepsAChosenPortWhereverItMoves) {
    plugFtdiB();
    form2.setPortSource(&ports);
    form2.ComboBox1->setCurrentIndex(12);
    const QString chosen = QString::fromStdString(kFtdiB);
    ASSERT_EQ(form1.portName, chosen);
    textChanges.clear();
    editChanges.clear();

    // An adapter that sorts before it: the chosen item moves down one place and stays chosen.
    plugFtdiA();
    openList();
    EXPECT_EQ(form2.ComboBox1->itemText(13), chosen);
    EXPECT_EQ(form2.ComboBox1->currentIndex(), 13);
    expectUntouched(chosen, chosen);

    // The chosen adapter is pulled out: its name stays in the box and in portName (the next
    // connect says it did not open), chosen by no item.
    ports.found.erase(ports.found.begin());
    ports.links.erase(ports.links.begin());
    openList();
    EXPECT_EQ(items(), comItems() << QString::fromStdString(kFtdiA));
    EXPECT_EQ(form2.ComboBox1->currentIndex(), -1);
    expectUntouched(chosen, chosen);
    EXPECT_EQ(form2.ComboBox1->toolTip(), chosen) << "the tooltip of a port that is gone";

    // Picking an item afterwards works as ever.
    form2.ComboBox1->setCurrentIndex(6);
    EXPECT_EQ(form1.portName, "COM7");
}

TEST_F(PortBoxTest, ComNameStaysChosenWhenPortsComeAndGo) {
    form2.setPortSource(&ports);
    form2.ComboBox1->setCurrentIndex(0);
    ASSERT_EQ(form1.portName, "COM1");
    textChanges.clear();
    editChanges.clear();
    plugFtdiA();
    plugFtdiB();
    openList();
    EXPECT_EQ(form2.ComboBox1->currentIndex(), 0);
    expectUntouched("COM1", "COM1");
    unplugAll();
    openList();
    EXPECT_EQ(form2.ComboBox1->currentIndex(), 0);
    expectUntouched("COM1", "COM1");
}

TEST_F(PortBoxTest, PortNameDifferentFromTheBoxIsLeftAlone) {
    // portName set elsewhere (a test, the simulated robot's link): a refresh does not copy the
    // box's text into it.
    form2.setPortSource(&ports);
    form1.portName = "/tmp/zelk-robot";
    plugFtdiA();
    openList();
    expectUntouched("COM7", "/tmp/zelk-robot");
}

TEST_F(PortBoxTest, OpenedListIsWideEnoughForItsLongestItemAndPicture) {
    plugFtdiA();
    plugFtdiB();
    ports.found.push_back(FakePortSource::adapter("/dev/ttyACM0", "Arduino Uno",
                                                  "Arduino (www.arduino.cc)",
                                                  "75833353035351D0D1A1", 0x2341, 0x0043));
    form2.setPortSource(&ports);
    form2.FormMouseMove();
    form2.show();
    ASSERT_TRUE(waitUntil([&] { return form2.isVisible(); }));
    form2.ComboBox1->setCurrentIndex(13);

    form2.ComboBox1->showPopup();
    QAbstractItemView* list = form2.ComboBox1->view();
    ASSERT_TRUE(waitUntil([&] { return list->isVisible(); }));
    pumpFor(30);
    // Two-line items are taller than the COM items, and the longest path fits unclipped.
    const QFontMetrics metrics(list->font());
    EXPECT_GT(list->visualRect(form2.ComboBox1->model()->index(13, 0)).height(),
              list->visualRect(form2.ComboBox1->model()->index(0, 0)).height());
    EXPECT_GE(list->viewport()->width(), metrics.horizontalAdvance(QString::fromStdString(kFtdiB)));
    list->scrollTo(form2.ComboBox1->model()->index(14, 0));
    pumpFor(20);
    QWidget* popup = list->window();
    const QImage picture = popup->grab().toImage();
    EXPECT_FALSE(picture.isNull());
    picture.save("/tmp/panel-ports.png");
    // The panel with its list open, as the operator sees them, on the black of the main window.
    const QRect panelRect(form2.mapToGlobal(QPoint(0, 0)), form2.size());
    const QRect popupRect(popup->mapToGlobal(QPoint(0, 0)), popup->size());
    const QRect both = panelRect.united(popupRect);
    QImage scene(both.size(), QImage::Format_RGB32);
    scene.fill(Qt::black);
    {
        QPainter painter(&scene);
        painter.drawImage(panelRect.topLeft() - both.topLeft(), form2.grab().toImage());
        painter.drawImage(popupRect.topLeft() - both.topLeft(), picture);
    }
    scene.save("/tmp/panel-ports-open.png");
    // Every item's whole text and second line, not only the longest path's.
    for (int row = 0; row < form2.ComboBox1->count(); ++row)
        EXPECT_GE(list->viewport()->width(),
                  list->sizeHintForIndex(form2.ComboBox1->model()->index(row, 0)).width())
            << row;
    form2.ComboBox1->hidePopup();

    // A name longer than the screen is wide: the list takes the screen's width, inside it (as
    // placed, before the offscreen platform shifts it by a window frame it pretends to have).
    ports.links[0].linkPath = kById + std::string(300, 'x') + "-if00-port0";
    form2.ComboBox1->showPopup();
    const QRect screen = form2.ComboBox1->screen()->availableGeometry();
    const QRect wide = list->window()->geometry();
    EXPECT_TRUE(screen.contains(wide)) << wide.x() << "+" << wide.width();
    EXPECT_GE(wide.width(), screen.width() - 4);
    ASSERT_TRUE(waitUntil([&] { return list->isVisible(); }));
    pumpFor(30);
    list->window()->grab().save("/tmp/panel-ports-wide.png");
    form2.ComboBox1->hidePopup();
}

TEST_F(PanelLinkTest, RefreshWhileConnectedLeavesTheConnectionAlone) {
    FakePortSource ports;
    ports.found.push_back(FakePortSource::bare("/dev/ttyS0"));
    form2.setPortSource(&ports);
    const QString connected = form1.portName;
    form2.ComboBox1->showPopup();
    pumpFor(10);
    form2.ComboBox1->hidePopup();
    EXPECT_EQ(form2.ComboBox1->count(), 13);
    EXPECT_EQ(form1.portName, connected);
    EXPECT_TRUE(form1.portOpen.load());
    EXPECT_TRUE(link.worker_running());
    form2.setPortSource(nullptr);
}

// ------------------------------------------------------------------- a port that will not open

class PortPermission : public PanelTest {
protected:
    void SetUp() override {
        form1.Timer2->stop();
        form1.Timer3->stop();
    }
    // Connects to name: the usual message exactly, the port closed; returns the lines the log
    // gained meanwhile.
    QStringList connectRefused(const QString& name) {
        SCOPED_TRACE(name.toStdString());
        boxes.clear();
        const QStringList before = logLines();
        form1.portName = name;
        form1.Button1Click();
        pumpFor(30);
        EXPECT_EQ(boxes.calls().size(), 1u);
        if (!boxes.calls().empty()) {
            const auto& call = boxes.calls()[0];
            EXPECT_EQ(call.text, "Nie mozna otworzyc portu " + name);
            EXPECT_EQ(call.caption, "Blad otwarcia portu COM");
            EXPECT_EQ(call.buttons, MessageBoxService::Buttons::Ok);
            EXPECT_EQ(call.icon, MessageBoxService::Icon::Information);
        }
        EXPECT_FALSE(form1.portOpen.load());
        EXPECT_FALSE(link.worker_running());
        const QStringList after = logLines();
        return after.mid(before.size());
    }
    QStringList logLines() const {
        const QString text = form1.Memo1->toPlainText();
        return text.isEmpty() ? QStringList() : text.split('\n');
    }
    static QString permissionLine(const QString& port) {
        return "> port " + port + ": permission denied (is the user in the dialout group?)";
    }
};

#define SKIP_AS_ROOT()                                                                             \
    if (geteuid() == 0)                                                                            \
    GTEST_SKIP() << "running as root, which may open any device; scripts/test.sh runs this "       \
                    "case as the user nobody"

TEST_F(PortPermission, DeviceTheUserMayNotOpenIsNamedInTheLog) {
    SKIP_AS_ROOT();
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    ASSERT_EQ(chmod(peer.path().c_str(), 0), 0);
    const QString path = QString::fromStdString(peer.path());
    EXPECT_EQ(connectRefused(path), QStringList{permissionLine(path)});
    // Once more: one line for each refused connect.
    EXPECT_EQ(connectRefused(path), QStringList{permissionLine(path)});
    EXPECT_TRUE(peer.read(100).empty());
}

TEST_F(PortPermission, ThroughALinkTheNameGivenIsTheOneNamed) {
    SKIP_AS_ROOT();
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    ASSERT_EQ(chmod(peer.path().c_str(), 0), 0);
    char dir[] = "/tmp/zelk-permission-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/usb-Test_Adapter_0001-if00-port0";
    ASSERT_EQ(symlink(peer.path().c_str(), link.c_str()), 0);
    const QString name = QString::fromStdString(link);
    EXPECT_EQ(connectRefused(name), QStringList{permissionLine(name)});
    unlink(link.c_str());
    rmdir(dir);
}

TEST_F(PortPermission, ComNameNamesItsDeviceToo) {
    SKIP_AS_ROOT();
    // COM1 is /dev/ttyS0 by the engine's name rule; the case needs a ttyS0 this user may not
    // open, which a user outside the dialout group has on most machines.
    if (access("/dev/ttyS0", F_OK) != 0 || access("/dev/ttyS0", R_OK | W_OK) == 0 ||
        errno != EACCES)
        GTEST_SKIP() << "no /dev/ttyS0 that this user may not open";
    EXPECT_EQ(connectRefused("COM1"), QStringList{permissionLine("COM1 (/dev/ttyS0)")});
}

TEST_F(PortPermission, OtherFailuresAreNamedByTheirOwnCause) {
    FakePortSource ports;
    ports.found.push_back(FakePortSource::adapter("/dev/ttyUSB0", "FT232R", "FTDI", "A0001"));
    ports.links.push_back({kFtdiA, "/dev/ttyUSB0"});
    ports.found.push_back(FakePortSource::bare("/dev/ttyS0"));
    form2.setPortSource(&ports);
    char dir[] = "/tmp/zelk-permission-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const QString missing = QString::fromLatin1(dir) + "/ttyUSB9";
    const QString present =
        QString::fromStdString("> serial ports present: /dev/ttyS0, " + kFtdiA + " (ttyUSB0)");
    EXPECT_EQ(connectRefused(missing),
              QStringList({"> port " + missing + ": no such device", present}));
    EXPECT_EQ(connectRefused("/dev/null"),
              QStringList({"> port /dev/null: not a serial port", present}));
    rmdir(dir);

    // A line another console holds is busy, not forbidden; that console is this process, which
    // is not named as a holder.
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    Tserial_event holder;
    ASSERT_EQ(holder.open_port(peer.path().c_str(), 57600, 0, 8, false), OPEN_OK);
    const QString path = QString::fromStdString(peer.path());
    EXPECT_EQ(connectRefused(path),
              QStringList{"> port " + path + ": in use by another program (sudo fuser -v " + path +
                          " shows which)"});
    holder.close_port();
    form2.setPortSource(nullptr);
}

// Another program holds the line: a child process that opens it exclusively as another console
// does (TIOCEXCL, which refuses the open itself to an ordinary user, and the lock, which holds
// for root too), under a name of its own. Run as root and as the user nobody.
class PortBusy : public PortPermission {
protected:
    // Starts the holder on path; false when it did not get the line.
    bool hold(const std::string& path) {
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, talk_) != 0)
            return false;
        if ((holder_ = fork()) == 0) {
            // Only system calls between fork and _exit: the test process has threads.
            prctl(PR_SET_NAME, "zelk-holder");
            ::close(talk_[0]);
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
            char ok = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 && ioctl(fd, TIOCEXCL) == 0;
            (void)!::write(talk_[1], &ok, 1);
            (void)!::read(talk_[1], &ok, 1); // until the test closes its end
            _exit(0);
        }
        ::close(talk_[1]);
        char ok = 0;
        return holder_ > 0 && ::read(talk_[0], &ok, 1) == 1 && ok;
    }
    void TearDown() override {
        if (holder_ > 0) {
            ::close(talk_[0]);
            waitpid(holder_, nullptr, 0);
        }
    }
    pid_t holder_ = -1;
    int talk_[2] = {-1, -1};
};

TEST_F(PortBusy, TheProgramHoldingTheLineIsNamedWhateverNameItIsOpenedBy) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(hold(peer.path()));
    const QString holder = QStringLiteral("zelk-holder (pid %1)").arg(holder_);
    const QString path = QString::fromStdString(peer.path());
    EXPECT_EQ(connectRefused(path), QStringList{"> port " + path + ": in use by " + holder});
    // As the simulated robot's link is: through a symbolic link to the pty.
    char dir[] = "/tmp/zelk-busy-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/zelk-robot";
    ASSERT_EQ(symlink(peer.path().c_str(), link.c_str()), 0);
    const QString name = QString::fromStdString(link);
    EXPECT_EQ(connectRefused(name), QStringList{"> port " + name + ": in use by " + holder});
    unlink(link.c_str());
    rmdir(dir);
}

TEST_F(PortPermission, NameTheEngineNeverSawGetsNoLineFromAnEarlierRefusal) {
    SKIP_AS_ROOT();
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    ASSERT_EQ(chmod(peer.path().c_str(), 0), 0);
    const QString path = QString::fromStdString(peer.path());
    ASSERT_EQ(connectRefused(path).size(), 1);
    // A name with a NUL inside is refused before the engine is asked: the cause the engine
    // kept from the refusal before is not this name's.
    QString name = path;
    name += QChar(0);
    name += "x";
    EXPECT_TRUE(connectRefused(name).isEmpty());
}

} // namespace
