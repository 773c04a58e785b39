// The panel as a window: its controls at start, docking of the real windows, the refused close,
// the handlers that change values without sending, and a picture of the expanded panel.

#include "panel_fixture.h"

#include "console/widgets/bar_gauge.h"
#include "console/widgets/colors.h"
#include "console/widgets/flat_button.h"
#include "console/widgets/spin_edit.h"
#include "console/widgets/transparent_picture.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QWindow>

namespace {

TEST_F(PanelTest, WindowProperties) {
    const Qt::WindowFlags flags = form2.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(form2.windowType(), Qt::Tool);
    EXPECT_NEAR(form2.windowOpacity(), 200 / 255.0, 0.005);
    EXPECT_EQ(form2.objectName(), "Form2");
    EXPECT_EQ(form2.size(), QSize(20, 339));
    EXPECT_EQ(form2.palette().color(QPalette::Window), QColor(0, 0, 0));
    EXPECT_EQ(form2.font().family(), "Tahoma");
    EXPECT_EQ(form2.font().pixelSize(), 11);
    EXPECT_FALSE(form2.testAttribute(Qt::WA_QuitOnClose));
}

TEST_F(PanelTest, SeeThroughCornerIsMaskedOutAndTheShapeFollowsTheWidth) {
    ASSERT_FALSE(form2.seeThroughPerPixel()) << "offscreen has no compositing manager";
    // Collapsed: the shape is the strip's, nothing of the panel beyond it.
    EXPECT_EQ(form2.mask().boundingRect(), QRect(0, 0, 20, 339));
    form2.FormMouseMove();
    const QRegion mask = form2.mask();
    ASSERT_FALSE(mask.isEmpty()) << "the background picture did not load";
    EXPECT_EQ(mask.boundingRect(), QRect(0, 0, 241, 339));
    // Inside the panel, down to its corners.
    for (QPoint p : {QPoint(0, 0), QPoint(10, 10), QPoint(120, 170), QPoint(0, 338),
                     QPoint(240, 338), QPoint(240, 31), QPoint(210, 0)}) {
        EXPECT_TRUE(mask.contains(p)) << p.x() << "," << p.y();
    }
    // The cut-off top right corner.
    for (QPoint p : {QPoint(240, 0), QPoint(235, 3), QPoint(240, 28), QPoint(212, 0)}) {
        EXPECT_FALSE(mask.contains(p)) << p.x() << "," << p.y();
    }
}

TEST_F(PanelTest, ControlsStartAsDesigned) {
    struct Place {
        const char* name;
        QRect rect;
    };
    const Place places[] = {
        {"Image1", QRect(0, 0, 258, 356)},         {"SpeedButton1", QRect(24, 34, 99, 23)},
        {"SpeedButton2", QRect(24, 60, 99, 23)},   {"ComboBox1", QRect(126, 34, 101, 21)},
        {"SpeedButton3", QRect(24, 98, 97, 23)},   {"ListBox1", QRect(128, 96, 99, 47)},
        {"CSpinEdit1", QRect(24, 122, 99, 22)},    {"CSpinEdit2", QRect(24, 146, 43, 22)},
        {"SpeedButton7", QRect(68, 146, 49, 21)},  {"CGauge1", QRect(128, 148, 99, 16)},
        {"CheckBox1", QRect(26, 176, 15, 17)},     {"CheckBox4", QRect(26, 198, 15, 17)},
        {"CheckBox3", QRect(152, 176, 15, 17)},    {"CheckBox2", QRect(152, 198, 15, 17)},
        {"SpeedButton5", QRect(26, 236, 185, 23)}, {"SpeedButton4", QRect(26, 262, 185, 23)},
        {"SpeedButton6", QRect(26, 288, 185, 23)},
    };
    for (const Place& place : places) {
        auto* widget = form2.findChild<QWidget*>(place.name);
        ASSERT_NE(widget, nullptr) << place.name;
        EXPECT_EQ(widget->geometry(), place.rect) << place.name;
    }

    // The found-unit list, the two addresses and the port box.
    EXPECT_EQ(listLines(), QStringList{"253"});
    EXPECT_EQ(form2.CSpinEdit1->value(), 253);
    EXPECT_EQ(form2.CSpinEdit2->value(), 0);
    EXPECT_EQ(form2.CSpinEdit1->minimum(), 0);
    EXPECT_EQ(form2.CSpinEdit1->maximum(), 255);
    EXPECT_EQ(form2.CSpinEdit2->maximum(), 255);
    EXPECT_EQ(form1.unitAddress(), 253);
    EXPECT_TRUE(form2.ComboBox1->isEditable());
    // The twelve COM items first; the serial ports of the machine follow them (panel_ports_test).
    ASSERT_GE(form2.ComboBox1->count(), 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(form2.ComboBox1->itemText(i), QString("COM%1").arg(i + 1));
    }
    EXPECT_EQ(form2.ComboBox1->currentIndex(), 6);
    EXPECT_EQ(form2.ComboBox1->currentText(), "COM7");
    EXPECT_EQ(form1.portName, "COM7");

    // Blue fields with white bold text.
    for (QWidget* field : std::initializer_list<QWidget*>{form2.ComboBox1, form2.ListBox1,
                                                          form2.CSpinEdit1, form2.CSpinEdit2}) {
        EXPECT_EQ(colorToCode(field->palette().color(QPalette::Base)), 16696577)
            << field->objectName().toStdString();
        EXPECT_EQ(colorToCode(field->palette().color(QPalette::Text)), clWhite);
        EXPECT_TRUE(field->font().bold());
        EXPECT_EQ(field->font().pixelSize(), 11);
    }

    // The scan gauge and the scan timer.
    EXPECT_EQ(form2.CGauge1->orientation(), Qt::Horizontal);
    EXPECT_EQ(form2.CGauge1->minValue(), 0);
    EXPECT_EQ(form2.CGauge1->maxValue(), 255);
    EXPECT_EQ(form2.CGauge1->progress(), 0);
    EXPECT_EQ(form2.CGauge1->foreColor(), clWhite);
    EXPECT_EQ(form2.CGauge1->backColor(), 16696577);
    EXPECT_FALSE(form2.CGauge1->showText());
    EXPECT_EQ(form1.Timer1->interval(), 100);
    EXPECT_FALSE(form1.Timer1->isActive());
    EXPECT_EQ(form1.scanAddress, 0);

    // Check boxes without captions, their labels beside them.
    EXPECT_TRUE(form2.CheckBox1->isChecked());
    EXPECT_FALSE(form2.CheckBox2->isChecked());
    EXPECT_FALSE(form2.CheckBox3->isChecked());
    EXPECT_FALSE(form2.CheckBox4->isChecked());
    const std::pair<QCheckBox*, QLabel*> pairs[] = {{form2.CheckBox1, form2.Label1},
                                                    {form2.CheckBox4, form2.Label2},
                                                    {form2.CheckBox3, form2.Label3},
                                                    {form2.CheckBox2, form2.Label4}};
    const char* texts[] = {"joystick", "inverse x<-->y", "negative X", "negative Y"};
    for (int i = 0; i < 4; ++i) {
        auto [box, label] = pairs[i];
        EXPECT_TRUE(box->text().isEmpty());
        EXPECT_EQ(label->text(), texts[i]);
        EXPECT_EQ(colorToCode(label->palette().color(QPalette::WindowText)), clAqua);
        EXPECT_FALSE(label->autoFillBackground());
        // Beside the box, on its line, and inside the panel.
        EXPECT_GT(label->x(), box->geometry().right());
        EXPECT_LT(label->x(), box->geometry().right() + 8);
        EXPECT_LT(std::abs(label->geometry().center().y() - box->geometry().center().y()), 4);
        EXPECT_LE(label->geometry().right(), 236) << texts[i];
    }

    // Only SpeedButton7 has a caption of its own.
    EXPECT_EQ(form2.SpeedButton7->text(), "nadaj id");
    EXPECT_EQ(form2.SpeedButton7->textColor(), clAqua);
    for (FlatButton* button : {form2.SpeedButton1, form2.SpeedButton2, form2.SpeedButton3,
                               form2.SpeedButton4, form2.SpeedButton5, form2.SpeedButton6}) {
        EXPECT_TRUE(button->text().isEmpty());
    }
}

// ------------------------------------------------------------------------- docking, real windows

class PanelDockTest : public PanelTest {
protected:
    void SetUp() override {
        form1.move(60, 40);
        form1.show();
        ASSERT_TRUE(waitUntil([&] { return form1.isVisible(); }));
    }
    PanelRect expected(DockMoment moment) const {
        const QRect main = form1.frameGeometry();
        return panelDockRect(moment, MainFrame{main.left(), main.top(), main.width()},
                             form2.width());
    }
    PanelRect actual() const {
        const QRect panel = form2.frameGeometry();
        return PanelRect{panel.left(), panel.top(), panel.width(), panel.height()};
    }
    void moveOver(QWidget* widget) {
        sendMouse(widget, QEvent::MouseMove, QPoint(5, 5), Qt::NoButton, Qt::NoButton);
    }
};

TEST_F(PanelDockTest, ShowExpandCollapseFollowTheMainWindowsFrame) {
    // Shown collapsed, level with the main window's top, flush with its right edge.
    form2.show();
    ASSERT_TRUE(waitUntil([&] { return form2.isVisible(); }));
    const QRect main = form1.frameGeometry();
    EXPECT_EQ(actual(), (PanelRect{main.right() + 1 - 20, main.top(), 20, 339}));

    // The mouse over the panel's picture expands it, 24 pixels down.
    moveOver(form2.Image1);
    EXPECT_EQ(actual(), (PanelRect{main.right() + 1 - 241, main.top() + 24, 241, 339}));
    EXPECT_EQ(actual(), expected(DockMoment::PanelMouseMove));

    // Moving the main window leaves the panel where it is ...
    form1.move(200, 90);
    pumpFor(20);
    EXPECT_EQ(actual(), (PanelRect{main.right() + 1 - 241, main.top() + 24, 241, 339}));
    // ... until the mouse moves over the main window's background.
    moveOver(&form1);
    const QRect moved = form1.frameGeometry();
    EXPECT_EQ(actual(), (PanelRect{moved.right() + 1 - 20, moved.top() + 24, 20, 339}));

    // The same over the main window's picture.
    moveOver(form2.Image1);
    EXPECT_EQ(form2.width(), 241);
    moveOver(form1.Image1);
    EXPECT_EQ(actual(), expected(DockMoment::MainMouseMove));
    EXPECT_EQ(form2.width(), 20);
}

TEST_F(PanelDockTest, ShowingAnExpandedPanelKeepsItsWidth) {
    form2.FormMouseMove();
    form2.show();
    ASSERT_TRUE(waitUntil([&] { return form2.isVisible(); }));
    const QRect main = form1.frameGeometry();
    EXPECT_EQ(actual(), (PanelRect{main.right() + 1 - 241, main.top(), 241, 339}));
}

TEST_F(PanelDockTest, ASizeTheWindowSystemProposesGivesWayToTheDockedOneAFewTimes) {
    form2.show();
    ASSERT_TRUE(waitUntil([&] { return form2.isVisible(); }));
    form2.FormMouseMove();
    form1.FormMouseMove();
    // As a compositor does on a focus change: the open panel's size again, as often as after
    // every restore.
    for (int i = 0; i < TForm2::MaxSizeRestores; ++i) {
        form2.setMaximumWidth(241);
        form2.resize(241, 339);
        EXPECT_TRUE(waitUntil([&] { return form2.width() == 20; })) << "proposal " << i;
    }
    // One that insists gets its way, with no endless back and forth.
    form2.setMaximumWidth(241);
    form2.resize(241, 339);
    pumpFor(50);
    EXPECT_EQ(form2.width(), 241);
    // The next docking move sets the width again, and undoes proposals anew.
    form1.FormMouseMove();
    EXPECT_EQ(form2.width(), 20);
    form2.setMaximumWidth(241);
    form2.resize(241, 339);
    EXPECT_TRUE(waitUntil([&] { return form2.width() == 20; }));
}

TEST_F(PanelDockTest, CreationDocksCollapsedBelowTheTop) {
    // A panel created now reads the placed main window.
    TForm2 panel(form1, boxes);
    const QRect main = form1.frameGeometry();
    EXPECT_EQ(panel.frameGeometry(), QRect(main.right() + 1 - 20, main.top() + 24, 20, 339));
}

TEST_F(PanelDockTest, MovesOverOtherControlsDoNotDock) {
    form2.show();
    ASSERT_TRUE(waitUntil([&] { return form2.isVisible(); }));
    form2.FormMouseMove();
    const PanelRect expanded = actual();
    ASSERT_EQ(expanded.width, 241);
    for (QWidget* control : std::initializer_list<QWidget*>{
             form2.SpeedButton1, form2.ComboBox1, form2.CheckBox1, form2.Label2,
             form2.ListBox1->viewport(), form2.CGauge1, form2.CSpinEdit1}) {
        moveOver(control);
        EXPECT_EQ(actual(), expanded) << control->objectName().toStdString();
    }
    // Controls of the main window do not collapse the panel either.
    moveOver(form1.Memo1);
    EXPECT_EQ(actual(), expanded);
}

// ------------------------------------------------------------------------------------ closing

TEST_F(PanelDockTest, CloseRequestsAreRefusedWhileTheMainWindowIsOpen) {
    form2.show();
    ASSERT_TRUE(waitUntil([&] { return form2.isVisible(); }));
    EXPECT_FALSE(form2.close());
    EXPECT_TRUE(form2.isVisible());

    // A close request as the window system sends it (Alt+F4).
    QCloseEvent request;
    request.setAccepted(true);
    QApplication::sendEvent(form2.windowHandle(), &request);
    pumpFor(20);
    EXPECT_TRUE(form2.isVisible());
}

TEST_F(PanelDockTest, ClosingTheMainWindowEndsTheProgram) {
    // The panel refuses closes, but it must not keep the application from quitting.
    form2.show();
    ASSERT_TRUE(waitUntil([&] { return form2.isVisible(); }));
    QTimer::singleShot(50, &form1, [&] { form1.close(); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(3000);
    EXPECT_EQ(QApplication::exec(), 0) << "the message loop did not end";
    EXPECT_FALSE(form1.isVisible());
    EXPECT_FALSE(form2.isVisible());
}

// ------------------------------------------------------------------ handlers that send nothing

TEST_F(PanelTest, PortBoxFollowsEveryChangeOfItsText) {
    form2.ComboBox1->setCurrentIndex(0);
    EXPECT_EQ(form1.portName, "COM1");

    QLineEdit* edit = form2.ComboBox1->lineEdit();
    edit->setFocus();
    edit->end(false);
    typeText(edit, "2");
    EXPECT_EQ(form2.ComboBox1->currentText(), "COM12");
    EXPECT_EQ(form1.portName, "COM12");

    // Every keystroke counts, and names longer than the list's are kept whole.
    edit->clear();
    EXPECT_EQ(form1.portName, "");
    const QString path = "/dev/pts/123";
    for (int i = 0; i < path.size(); ++i) {
        typeText(edit, path.mid(i, 1));
        EXPECT_EQ(form1.portName, path.left(i + 1));
    }
    // Enter neither adds the typed name to the list nor changes it.
    const int items = form2.ComboBox1->count();
    pressKey(edit, Qt::Key_Return, "\r");
    EXPECT_EQ(form2.ComboBox1->count(), items);
    EXPECT_EQ(form1.portName, path);

    // Picking an item from the list again.
    form2.ComboBox1->setCurrentIndex(11);
    EXPECT_EQ(form1.portName, "COM12");
    form2.ComboBox1->setCurrentIndex(2);
    EXPECT_EQ(form1.portName, "COM3");
}

TEST_F(PanelTest, ListClickChoosesTheUnit) {
    form1.state.softVersion = 3;
    form1.state.hardVersion = 20;

    // "253" while the address already is 253: no change, the versions stay known.
    form2.ListBox1->setCurrentRow(0);
    form2.ListBox1Click();
    EXPECT_EQ(form2.CSpinEdit1->value(), 253);
    EXPECT_EQ(form1.state.softVersion, 3);
    EXPECT_EQ(form1.state.hardVersion, 20);

    // A line that is no number chooses unit 1, and the versions are asked for again.
    form2.ListBox1->addItem("abc");
    form2.ListBox1->setCurrentRow(1);
    form2.ListBox1Click();
    EXPECT_EQ(form2.CSpinEdit1->value(), 1);
    EXPECT_EQ(form1.state.softVersion, -1);
    EXPECT_EQ(form1.state.hardVersion, -1);
    EXPECT_EQ(form1.unitAddress(), 1);

    // Out of range: the spin edit keeps its range.
    form2.ListBox1->addItem("300");
    form2.ListBox1->setCurrentRow(2);
    form2.ListBox1Click();
    EXPECT_EQ(form2.CSpinEdit1->value(), 255);

    // No line selected: nothing changes.
    form1.state.softVersion = 4;
    form2.ListBox1->clearSelection();
    form2.ListBox1->setCurrentRow(-1);
    form2.ListBox1Click();
    EXPECT_EQ(form2.CSpinEdit1->value(), 255);
    EXPECT_EQ(form1.state.softVersion, 4);
}

TEST_F(PanelTest, MouseClickOnALineRunsTheHandler) {
    form2.ListBox1->addItem("17");
    form2.FormMouseMove();
    form2.show();
    ASSERT_TRUE(waitUntil([&] { return form2.isVisible(); }));
    const QRect line = form2.ListBox1->visualItemRect(form2.ListBox1->item(1));
    ASSERT_FALSE(line.isEmpty());
    click(form2.ListBox1->viewport(), line.center());
    EXPECT_EQ(form2.CSpinEdit1->value(), 17);
    EXPECT_EQ(form1.unitAddress(), 17);
}

TEST_F(PanelTest, EveryRealChangeOfTheUnitResetsTheVersions) {
    auto known = [&] {
        form1.state.softVersion = 3;
        form1.state.hardVersion = 20;
    };
    known();
    form2.CSpinEdit1->setValue(253); // the value it holds: no change
    EXPECT_EQ(form1.state.softVersion, 3);

    form2.CSpinEdit1->stepBy(1); // the arrow
    EXPECT_EQ(form2.CSpinEdit1->value(), 254);
    EXPECT_EQ(form1.state.softVersion, -1);
    EXPECT_EQ(form1.state.hardVersion, -1);

    known();
    QLineEdit* edit = form2.CSpinEdit1->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    edit->setText("12"); // typed
    EXPECT_EQ(form1.state.softVersion, -1);
    EXPECT_EQ(form1.unitAddress(), 12);

    // CSpinEdit2 is only the new address: it changes nothing else.
    known();
    form2.CSpinEdit2->setValue(9);
    EXPECT_EQ(form1.state.softVersion, 3);
    EXPECT_EQ(form1.state.hardVersion, 20);
}

TEST_F(PanelTest, ScanButtonWithoutPortStartsAndStops) {
    // Probes are handed to the link whether or not the port is open; the scan runs all the same.
    form2.ListBox1->addItem("5");
    form2.SpeedButton3->click();
    EXPECT_TRUE(form1.Timer1->isActive());
    EXPECT_EQ(listLines(), QStringList{"253"});
    form1.Timer1Timer();
    form1.Timer1Timer();
    EXPECT_EQ(form1.scanAddress, 2);
    EXPECT_EQ(form2.CGauge1->progress(), 1);
    form2.SpeedButton3->click();
    EXPECT_FALSE(form1.Timer1->isActive());
    EXPECT_EQ(form1.scanAddress, 0);
    EXPECT_EQ(form2.CGauge1->progress(), 0);
}

// ------------------------------------------------------------------------------------ picture

TEST_F(PanelTest, ExpandedPanelPicture) {
    form2.FormMouseMove();
    form2.show();
    ASSERT_TRUE(waitUntil([&] { return form2.isVisible(); }));
    pumpFor(20);
    const QImage image = form2.grab().toImage();
    ASSERT_EQ(image.size(), QSize(241, 339));
    image.save("/tmp/panel.png");

    // The background picture is there: the panel is not black where nothing else lies.
    EXPECT_NE(pixelCode(image, 100, 320), clBlack);
    EXPECT_NE(pixelCode(image, 8, 200), clBlack);
    // The see-through colour itself is never drawn.
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ASSERT_NE(pixelCode(image, x, y), TForm2::SeeThroughColor) << x << "," << y;
        }
    }
    // The painted label of the connect button lies under the button, light on blue.
    int light = 0;
    const QRect button = form2.SpeedButton1->geometry();
    for (int y = button.top(); y <= button.bottom(); ++y) {
        for (int x = button.left(); x <= button.right(); ++x) {
            light += image.pixelColor(x, y).lightness() > 200 ? 1 : 0;
        }
    }
    EXPECT_GT(light, 20);
}

} // namespace
