#include "console/form2.h"

#include "console/form1.h"
#include "console/ports/port_list.h"
#include "console/ports/serial_port_source.h"
#include "console/widgets/bar_gauge.h"
#include "console/widgets/colors.h"
#include "console/widgets/flat_button.h"
#include "console/widgets/message_box.h"
#include "console/widgets/spin_edit.h"
#include "console/widgets/transparent_picture.h"
#include "console/x11_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QResizeEvent>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTimer>
#include <QWindow>
#include <vector>

namespace {

QFont tahoma(bool bold = false) {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    font.setBold(bold);
    return font;
}

template <typename W> W* place(W* widget, const char* name, int left, int top, int w, int h) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, w, h);
    return widget;
}

// Blue field, white bold text, one flat black line around it.
void styleField(QWidget* widget) {
    QPalette palette = widget->palette();
    const QColor blue = colorFromCode(TForm2::ControlColor);
    const QColor white = colorFromCode(clWhite);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, blue);
        palette.setColor(group, QPalette::Button, blue);
        palette.setColor(group, QPalette::Window, blue);
        palette.setColor(group, QPalette::Text, white);
        palette.setColor(group, QPalette::ButtonText, white);
        palette.setColor(group, QPalette::WindowText, colorFromCode(clBlack));
        palette.setColor(group, QPalette::HighlightedText, white);
    }
    widget->setPalette(palette);
    widget->setFont(tahoma(true));
}

// The part of picture whose pixels are not of the colour code, row by row.
QRegion regionWithoutColor(const QImage& picture, int code) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = colorFromCode(code).rgb();
    std::vector<QRect> rects;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < image.width()) {
            while (x < image.width() && line[x] == key) {
                ++x;
            }
            const int start = x;
            while (x < image.width() && line[x] != key) {
                ++x;
            }
            if (x > start) {
                rects.emplace_back(start, y, x - start, 1);
            }
        }
    }
    QRegion region;
    region.setRects(rects.data(), static_cast<int>(rects.size()));
    return region;
}

} // namespace

TForm2::TForm2(TForm1& form1, MessageBoxService& boxes, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), form1_(form1),
      boxes_(boxes), machinePorts_(std::make_unique<SerialPortSource>()),
      portSource_(machinePorts_.get()) {
    setObjectName(QStringLiteral("Form2"));
    // The panel never decides on its own whether the application lives on.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowOpacity(200 / 255.0);
    // A compositing manager blends the window's own alpha: the corner is left unpainted. A
    // window shape there is what mutter and muffin draw stale (only the strip it was cut at
    // shows once the panel widens). Without one, the shape cuts the corner.
    perPixelAlpha_ = x11::compositingManagerRuns();
    if (perPixelAlpha_)
        setAttribute(Qt::WA_TranslucentBackground); // before the native window exists
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, colorFromCode(clBlack));
    setPalette(palette);
    setAutoFillBackground(!perPixelAlpha_);
    setFont(tahoma());
    setMouseTracking(true);

    createControls();
    chosenUnit_ = CSpinEdit1->value();
    opaque_ = Image1->picture().isNull() ? QRegion(0, 0, BackgroundWidth, BackgroundHeight)
                                         : regionWithoutColor(Image1->picture(), SeeThroughColor);
    wireEvents();
    refreshPortList();
    form1_.connection.setPortSource(portSource_); // a port that does not open lists these

    dockAt(panelDockRect(DockMoment::Creation, mainFrame(), width()));
    form1_.installEventFilter(this);
    // The panel belongs to the main window: its transient-for hint names the main window (not
    // Qt's hidden leader window, which window managers refuse), and a Wayland compositor, which
    // lets no client place its windows or keep one above all others, keeps it above its parent,
    // so that no click on the dashboard hides it.
    belongToMainWindow();
}

void TForm2::belongToMainWindow() {
    QWidget* main = form1_.window();
    main->winId(); // the native windows, before either is shown
    winId();
    windowHandle()->setTransientParent(main->windowHandle());
}

TForm2::~TForm2() {
    form1_.connection.setPortSource(nullptr);
}

void TForm2::createControls() {
    Image1 = place(new TransparentPicture(this), "Image1", 0, 0, BackgroundWidth, BackgroundHeight);
    Image1->setTransparentColor(SeeThroughColor);
    // Without the picture the panel stays plain black; nothing else depends on it.
    Image1->loadPicture(QString::fromLatin1(BackgroundPath),
                        QSize(BackgroundWidth, BackgroundHeight));
    Image1->setMouseTracking(true);

    // The speed buttons' labels are painted on the background; the buttons lie over them.
    SpeedButton1 = place(new FlatButton(this), "SpeedButton1", 24, 34, 99, 23);
    SpeedButton2 = place(new FlatButton(this), "SpeedButton2", 24, 60, 99, 23);

    ComboBox1 = place(new PortBox(this), "ComboBox1", 126, 34, 101, 21);
    ComboBox1->setEditable(true);
    // The typed text is the port name as it stands: no completion, and Enter adds no item.
    ComboBox1->setCompleter(nullptr);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    for (const ports::PortEntry& entry : ports::comEntries()) {
        ComboBox1->addItem(QString::fromStdString(entry.text));
    }
    ComboBox1->setCurrentIndex(ports::comStartIndex);
    styleField(ComboBox1);
    {
        // In the opened list: the chosen item in navy, the ports' second lines in navy too, so
        // that they read on the blue beside the white names.
        QPalette palette = ComboBox1->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, QPalette::Highlight, QColor(0, 48, 112));
        }
        ComboBox1->setPalette(palette);
        ComboBox1->setDetailColor(QColor(0, 48, 112));
    }

    SpeedButton3 = place(new FlatButton(this), "SpeedButton3", 24, 98, 97, 23);

    ListBox1 = place(new QListWidget(this), "ListBox1", 128, 96, 99, 47);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setFrameStyle(QFrame::Box | QFrame::Plain);
    ListBox1->setLineWidth(1);
    ListBox1->addItem(QStringLiteral("253"));
    styleField(ListBox1);

    CSpinEdit1 = place(new SpinEdit(this), "CSpinEdit1", 24, 122, 99, 22);
    CSpinEdit1->setRange(0, 255);
    CSpinEdit1->setValue(253);
    styleField(CSpinEdit1);

    CSpinEdit2 = place(new SpinEdit(this), "CSpinEdit2", 24, 146, 43, 22);
    CSpinEdit2->setRange(0, 255);
    CSpinEdit2->setValue(0);
    styleField(CSpinEdit2);

    SpeedButton7 = place(new FlatButton(this), "SpeedButton7", 68, 146, 49, 21);
    SpeedButton7->setText(QStringLiteral("nadaj id"));
    SpeedButton7->setTextColor(clAqua);
    SpeedButton7->setFont(tahoma());

    CGauge1 = place(new BarGauge(this), "CGauge1", 128, 148, 99, 16);
    CGauge1->setOrientation(Qt::Horizontal);
    CGauge1->setRange(0, 255);
    CGauge1->setProgress(0);
    CGauge1->setForeColor(clWhite);
    CGauge1->setBackColor(ControlColor);
    CGauge1->setShowText(false);

    const auto checkBox = [this](const char* name, int left, int top, bool checked) {
        auto* box = place(new QCheckBox(this), name, left, top, 15, 17);
        box->setChecked(checked);
        return box;
    };
    const auto label = [this](const char* name, const char* text, int left, int top) {
        auto* caption = new QLabel(QString::fromLatin1(text), this);
        caption->setObjectName(QString::fromLatin1(name));
        caption->setFont(tahoma());
        QPalette palette = caption->palette();
        palette.setColor(QPalette::WindowText, colorFromCode(clAqua));
        caption->setPalette(palette);
        caption->setAutoFillBackground(false);
        caption->adjustSize();
        caption->move(left, top);
        return caption;
    };
    CheckBox1 = checkBox("CheckBox1", 26, 176, true);
    Label1 = label("Label1", "joystick", 44, 177);
    CheckBox4 = checkBox("CheckBox4", 26, 198, false);
    Label2 = label("Label2", "inverse x<-->y", 44, 199);
    CheckBox3 = checkBox("CheckBox3", 152, 176, false);
    Label3 = label("Label3", "negative X", 170, 177);
    CheckBox2 = checkBox("CheckBox2", 152, 198, false);
    Label4 = label("Label4", "negative Y", 170, 199);

    SpeedButton5 = place(new FlatButton(this), "SpeedButton5", 26, 236, 185, 23);
    SpeedButton4 = place(new FlatButton(this), "SpeedButton4", 26, 262, 185, 23);
    SpeedButton6 = place(new FlatButton(this), "SpeedButton6", 26, 288, 185, 23);
}

void TForm2::applySeeThroughMask(int width) {
    if (perPixelAlpha_)
        return;
    // Cut to the window's width: a shape wider than the window is one a window manager may keep
    // drawing at the width it was set at.
    const QRegion shape = opaque_ & QRegion(0, 0, width, PanelHeight);
    if (mask() != shape)
        setMask(shape);
}

void TForm2::wireEvents() {
    connect(Image1, &TransparentPicture::mouseMoved, this, [this] { FormMouseMove(); });
    connect(SpeedButton1, &FlatButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &FlatButton::clicked, this, [this] { SpeedButton2Click(); });
    // Emitted for picked items and for every keystroke in the edit field alike.
    connect(ComboBox1, &QComboBox::currentTextChanged, this, [this] { ComboBox1Change(); });
    // An adapter plugged in after start appears, an unplugged one disappears.
    connect(ComboBox1, &PortBox::popupAboutToShow, this, [this] { refreshPortList(); });
    connect(SpeedButton3, &FlatButton::clicked, this, [this] { SpeedButton3Click(); });
    connect(ListBox1, &QListWidget::itemClicked, this, [this] { ListBox1Click(); });
    // Moving the selection with the keyboard counts as a click, as it does with the mouse.
    connect(ListBox1, &QListWidget::currentRowChanged, this, [this] {
        if (ListBox1->hasFocus()) {
            ListBox1Click();
        }
    });
    connect(CSpinEdit1, &SpinEdit::valueChanged, this, [this] { CSpinEdit1Change(); });
    connect(SpeedButton7, &FlatButton::clicked, this, [this] { SpeedButton7Click(); });
    connect(SpeedButton4, &FlatButton::clicked, this, [this] { SpeedButton4Click(); });
    connect(SpeedButton6, &FlatButton::clicked, this, [this] { SpeedButton6Click(); });
}

void TForm2::setPortSource(const ports::PortSource* source) {
    portSource_ = source != nullptr ? source : machinePorts_.get();
    form1_.connection.setPortSource(portSource_);
    refreshPortList();
}

void TForm2::refreshPortList() {
    const std::vector<ports::PortEntry> entries = ports::portBoxEntries(*portSource_);
    // The first item that differs from the new list; the COM items never do.
    int first = 0;
    while (first < ComboBox1->count() && first < int(entries.size())) {
        const ports::PortEntry& entry = entries[size_t(first)];
        if (ComboBox1->itemText(first) != QString::fromStdString(entry.text) ||
            ComboBox1->itemDetail(first) != QString::fromStdString(entry.detail) ||
            ComboBox1->itemData(first, Qt::ToolTipRole).toString() !=
                QString::fromStdString(entry.toolTip)) {
            break;
        }
        ++first;
    }
    if (first == ComboBox1->count() && first == int(entries.size())) {
        return; // nothing changed: the box is left exactly as it is
    }

    // The box shows the same text afterwards and portName is not touched: no change of the
    // text reaches ComboBox1Change, for the items under it are replaced unseen.
    const QString text = ComboBox1->currentText();
    const QSignalBlocker quiet(ComboBox1);
    while (ComboBox1->count() > first) {
        ComboBox1->removeItem(ComboBox1->count() - 1);
    }
    for (size_t i = size_t(first); i < entries.size(); ++i) {
        ComboBox1->addPort(QString::fromStdString(entries[i].text),
                           QString::fromStdString(entries[i].detail),
                           QString::fromStdString(entries[i].toolTip));
    }
    // The item showing that text is chosen again (a chosen port that is gone leaves its name in
    // the box, chosen by none); a typed name stays typed.
    const int index = ports::entryIndexForText(entries, text.toStdString());
    if (ComboBox1->currentIndex() != index) {
        ComboBox1->setCurrentIndex(index);
    }
    if (ComboBox1->currentText() != text) {
        ComboBox1->setEditText(text);
    }
    ComboBox1->updateToolTip();
}

MainFrame TForm2::mainFrame() const {
    const QRect frame = form1_.frameGeometry();
    const QRect client = form1_.geometry();
    // A frame deeper above the client area than below it has a title bar; a border of one width
    // all round has none.
    const int above = client.top() - frame.top();
    const int below = frame.bottom() - client.bottom();
    return MainFrame{frame.left(), frame.top(), frame.width(), above > below ? above : 0};
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    // The main window is placed before the window manager frames it: its frame becomes known
    // only later, and the panel then docks again at the same width, as it did when shown. A
    // move of the main window by the operator leaves the frame as it is and the panel behind.
    if (watched == &form1_ && (event->type() == QEvent::Move || event->type() == QEvent::Show)) {
        const QRect frame = form1_.frameGeometry();
        const QRect client = form1_.geometry();
        const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                               frame.right() - client.right(), frame.bottom() - client.bottom());
        if (margins != mainMargins_) {
            mainMargins_ = margins;
            if (isVisible()) {
                FormShow();
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm2::dockAt(const PanelRect& rect) {
    const QSize size(rect.width, rect.height);
    dockedSize_ = size;
    // Shaped for the new width before it widens, so that the whole panel shows at once.
    applySeeThroughMask(rect.width);
    if (this->size() != size) {
        sizeRestores_ = 0;
        setFixedSize(size);
    }
    if (pos() != QPoint(rect.left, rect.top)) {
        move(rect.left, rect.top);
    }
}

void TForm2::FormMouseMove() {
    dockAt(panelDockRect(DockMoment::PanelMouseMove, mainFrame(), width()));
}

void TForm2::FormShow() {
    dockAt(panelDockRect(DockMoment::Shown, mainFrame(), width()));
}

void TForm2::FormCloseQuery(bool& canClose) const {
    canClose = !form1_.isVisible();
}

void TForm2::mouseMoveEvent(QMouseEvent* event) {
    // Moves over the other controls reach the panel too (they do not track the mouse); only
    // the background docks.
    QWidget* under = childAt(event->position().toPoint());
    if (under == nullptr || under == Image1) {
        FormMouseMove();
    }
}

void TForm2::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The main window owns the one taskbar button; the window manager reads this when the
    // panel is mapped, right after this event.
    if (!event->spontaneous() && windowHandle() != nullptr)
        x11::keepOffTaskbar(*windowHandle());
    // Only when the panel is shown, not when the window system maps it again.
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TForm2::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    applySeeThroughMask(event->size().width());
    if (event->size() != dockedSize_ && !dockedSize_.isEmpty())
        QTimer::singleShot(0, this, [this] { keepDockedSize(); });
}

void TForm2::keepDockedSize() {
    // A Wayland compositor proposes the size it last saw when the focus moves (a click on the
    // dashboard proposes the open panel's), and Qt takes it: the panel's width is the
    // console's. mutter 48 proposes it again after a restore, at times more than three times
    // in a row. A window system that insists gets its way after MaxSizeRestores tries, so that
    // the two never take turns for ever.
    if (size() == dockedSize_ || sizeRestores_ >= MaxSizeRestores)
        return;
    ++sizeRestores_;
    resize(dockedSize_);
}

void TForm2::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!perPixelAlpha_)
        return; // the background fills the window, the shape cuts the corner
    QPainter painter(this);
    painter.setClipRegion(opaque_ & event->region());
    painter.fillRect(rect(), palette().color(QPalette::Window));
}

void TForm2::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    FormCloseQuery(canClose);
    if (canClose) {
        event->accept();
    } else {
        event->ignore();
    }
}

void TForm2::SpeedButton1Click() {
    form1_.Button1Click();
}

void TForm2::SpeedButton2Click() {
    form1_.Button2Click();
}

void TForm2::ComboBox1Change() {
    // The next connect opens this name; an open port stays open.
    form1_.portName = ComboBox1->currentText();
}

void TForm2::SpeedButton3Click() {
    if (form1_.Timer1->isActive()) {
        // Stop: the found units stay listed.
        form1_.Timer1->stop();
        form1_.scanAddress = 0;
        CGauge1->setProgress(0);
        return;
    }
    ListBox1->clear();
    ListBox1->addItem(QStringLiteral("253"));
    form1_.scanAddress = 0;
    CGauge1->setProgress(0);
    form1_.Timer1->start();
}

void TForm2::ListBox1Click() {
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    const QByteArray line = selected.front()->text().toUtf8();
    // The spin edit keeps the value within its range; an unchanged value is no change.
    CSpinEdit1->setValue(unitAddressFromLine(std::string_view(line.constData(), line.size())));
}

void TForm2::CSpinEdit1Change() {
    // Another unit: the command cycle asks it for its versions first. The unit that was driven
    // gets the stop frame, and nothing drives the new one until the operator drives anew.
    form1_.state.softVersion = -1;
    form1_.state.hardVersion = -1;
    const int previous = chosenUnit_;
    chosenUnit_ = CSpinEdit1->value();
    form1_.chosenUnitChanged(previous);
}

void TForm2::SpeedButton7Click() {
    const QString question = QStringLiteral("Czy nadać nowe ID?");
    if (boxes_.show(question, question, MessageBoxService::Buttons::YesNo,
                    MessageBoxService::Icon::Information) != MessageBoxService::Yes) {
        return;
    }
    // The unit answers to its new address from now on: it is left stopped.
    form1_.leaveUnit(CSpinEdit1->value());
    send(buildAssignAddress(form1_.frameBuffer, CSpinEdit1->value(), CSpinEdit2->value()));
}

void TForm2::SpeedButton4Click() {
    send(buildProgramActivate(form1_.frameBuffer, CSpinEdit1->value()));
}

void TForm2::SpeedButton6Click() {
    send(buildProgramDeactivate(form1_.frameBuffer, CSpinEdit1->value()));
}

void TForm2::send(int length) {
    form1_.sendFrame(length);
}
