#pragma once
// TForm2, the connection and unit panel: a small borderless window that stays on top and docks
// at the main window's right edge. It lies there as a 20-pixel strip, widens to 241 pixels when
// the mouse moves over its background and narrows again when the mouse moves over the main
// window's background. On it the operator chooses the port, connects and disconnects, scans the
// unit addresses, chooses the unit every command frame goes to (CSpinEdit1), gives a unit a new
// address, sends the two program commands and sets the game-controller options.

#include "console/panel_logic.h"
#include "console/widgets/port_box.h"

#include <QMargins>
#include <QRegion>
#include <QWidget>
#include <memory>

class BarGauge;
class FlatButton;
class MessageBoxService;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class SpinEdit;
class TForm1;
class TransparentPicture;
namespace ports {
class PortSource;
}

class TForm2 : public QWidget {
    Q_OBJECT
public:
    // Colours of the panel (colour codes, red in the low byte).
    static constexpr int SeeThroughColor = 5187367; // RGB 39, 39, 79: the cut-off corner
    static constexpr int ControlColor = 16696577;   // RGB 1, 197, 254
    // The background picture, compiled into the program.
    static constexpr const char* BackgroundPath = ":/assets/panel_background.svg";
    static constexpr int BackgroundWidth = 258;
    static constexpr int BackgroundHeight = 356;
    // How often in a row the docked size is put back over one the window system gave the panel.
    static constexpr int MaxSizeRestores = 8;

    // Reads the main window's position: create the panel after the main window is placed. The
    // panel is docked collapsed but not shown; the program shows it right after creating it.
    TForm2(TForm1& form1, MessageBoxService& boxes, QWidget* parent = nullptr);
    ~TForm2() override;

    // Handlers.
    void FormMouseMove(); // expand
    void FormShow();      // level the top with the main window's top
    // Every close request is refused while the main window is open. Once the main window has
    // closed, the application is ending and the panel closes with it: a refusal then would keep
    // the application from quitting.
    void FormCloseQuery(bool& canClose) const;
    void SpeedButton1Click();
    void SpeedButton2Click();
    void ComboBox1Change();
    void SpeedButton3Click();
    void ListBox1Click();
    void CSpinEdit1Change();
    void SpeedButton7Click();
    void SpeedButton4Click();
    void SpeedButton6Click();

    // Docks the panel at rect (the panel has no frame: its frame is its client area).
    void dockAt(const PanelRect& rect);
    // How the cut-off corner is made see-through: per pixel, where a compositing manager draws
    // the screen; otherwise by the window's shape, which follows the panel's width.
    bool seeThroughPerPixel() const { return perPixelAlpha_; }
    // The main window's outer frame, as the docking rows read it.
    MainFrame mainFrame() const;

    // The port box: the twelve COM items, then the serial ports present on the machine. The
    // list is looked at again each time the box opens; the text in the box and portName stay as
    // they are, and ComboBox1Change does not run.
    void refreshPortList();
    // Where the ports come from: the machine (QSerialPortInfo and /dev/serial/by-id/) unless a
    // test gives its own; nullptr goes back to the machine. The list is refreshed at once.
    void setPortSource(const ports::PortSource* source);

    // Controls, by their design names (each also carries its name as objectName).
    TransparentPicture* Image1;
    FlatButton *SpeedButton1, *SpeedButton2, *SpeedButton3, *SpeedButton4, *SpeedButton5,
        *SpeedButton6, *SpeedButton7;
    PortBox* ComboBox1;
    QListWidget* ListBox1;
    SpinEdit *CSpinEdit1, *CSpinEdit2;
    BarGauge* CGauge1;
    QCheckBox *CheckBox1, *CheckBox2, *CheckBox3, *CheckBox4;
    QLabel *Label1, *Label2, *Label3, *Label4;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void wireEvents();
    // The window's shape for a panel of width: the picture without its see-through corner.
    void applySeeThroughMask(int width);
    // Makes the panel a transient child of the main window's native window.
    void belongToMainWindow();
    // Puts the docked size back when the window system gave the panel another one.
    void keepDockedSize();
    // Hands the first length bytes of the main window's frame buffer to the link.
    void send(int length);

    TForm1& form1_;
    MessageBoxService& boxes_;
    std::unique_ptr<ports::PortSource> machinePorts_;
    const ports::PortSource* portSource_ = nullptr;
    // CSpinEdit1's value as CSpinEdit1Change last saw it: the unit that was chosen before.
    int chosenUnit_ = 0;
    // The main window's frame around its client area, as last seen.
    QMargins mainMargins_;
    // The panel's pixels that are not see-through (the picture without its corner).
    QRegion opaque_;
    bool perPixelAlpha_ = false;
    // The size the last docking move gave the panel, and how often it was put back since.
    QSize dockedSize_;
    int sizeRestores_ = 0;
};
