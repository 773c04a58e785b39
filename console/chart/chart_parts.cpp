#include "console/chart/chart_parts.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGraphicsScene>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

constexpr int kPageFontPixels = 9;
constexpr int kLegendFontPixels = 9;
constexpr int kButtonSize = 13;
constexpr int kGap = 2;
constexpr int kLegendBox = 7;  // check box square
constexpr int kLegendMark = 5; // colour mark, 5 pixels wide

QFont pixelFont(const QWidget* w, int pixels) {
    QFont f = w->font();
    f.setPixelSize(pixels);
    return f;
}

} // namespace

QColor chartColor(int code) {
    return QColor(code & 0xFF, (code >> 8) & 0xFF, (code >> 16) & 0xFF);
}

// --- ChartPageButton -----------------------------------------------------------------------------

ChartPageButton::ChartPageButton(Direction direction, QWidget* parent)
    : QAbstractButton(parent), direction_(direction) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    resize(sizeHint());
}

QSize ChartPageButton::sizeHint() const {
    return {kButtonSize, kButtonSize};
}

void ChartPageButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const bool on = isEnabled();
    QLinearGradient silver(r.topLeft(), r.bottomLeft());
    const QColor top = on ? QColor(245, 245, 245) : QColor(150, 150, 150);
    const QColor mid = on ? chartColor(12632256) : QColor(110, 110, 110); // clSilver
    const QColor low = on ? QColor(128, 128, 128) : QColor(70, 70, 70);
    silver.setColorAt(0.0, isDown() ? low : top);
    silver.setColorAt(0.5, mid);
    silver.setColorAt(1.0, isDown() ? top : low);
    p.setPen(QPen(on ? Qt::white : QColor(170, 170, 170), 1.0));
    p.setBrush(silver);
    p.drawRoundedRect(r, 2.5, 2.5);

    // Arrow pointing left (previous) or right (next).
    const QPointF c = r.center();
    const double w = 2.5;
    const double h = 3.5;
    QPolygonF arrow;
    if (direction_ == Previous) {
        arrow << QPointF(c.x() - w, c.y()) << QPointF(c.x() + w, c.y() - h)
              << QPointF(c.x() + w, c.y() + h);
    } else {
        arrow << QPointF(c.x() + w, c.y()) << QPointF(c.x() - w, c.y() - h)
              << QPointF(c.x() - w, c.y() + h);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(on ? QColor(20, 20, 20) : QColor(150, 150, 150));
    p.drawPolygon(arrow);
}

// --- ChartPageTool -------------------------------------------------------------------------------

ChartPageTool::ChartPageTool(QWidget* parent)
    : QWidget(parent), previous_(new ChartPageButton(ChartPageButton::Previous, this)),
      next_(new ChartPageButton(ChartPageButton::Next, this)) {
    setObjectName("ChartTool1");
    previous_->setObjectName("ChartTool1Previous");
    next_->setObjectName("ChartTool1Next");
    setCursor(Qt::PointingHandCursor);
    setFont(pixelFont(this, kPageFontPixels));
    connect(previous_, &QAbstractButton::clicked, this, &ChartPageTool::previousClicked);
    connect(next_, &QAbstractButton::clicked, this, &ChartPageTool::nextClicked);
    setPage(1, 1);
}

void ChartPageTool::setPage(int page, int pageCount) {
    const QString text = QString("Page %1 of %2").arg(page).arg(pageCount);
    previous_->setEnabled(page > 1);
    next_->setEnabled(page < pageCount);
    if (text != text_) {
        text_ = text;
        updateGeometry();
        update();
    }
}

QSize ChartPageTool::sizeHint() const {
    const int textWidth = fontMetrics().horizontalAdvance(text_);
    const int box = std::max(64, textWidth + 12);
    return {kButtonSize + kGap + box + kGap + kButtonSize, kButtonSize};
}

QRect ChartPageTool::boxRect() const {
    return QRect(kButtonSize + kGap, 0, width() - 2 * (kButtonSize + kGap), height());
}

void ChartPageTool::resizeEvent(QResizeEvent*) {
    previous_->setGeometry(0, (height() - kButtonSize) / 2, kButtonSize, kButtonSize);
    next_->setGeometry(width() - kButtonSize, (height() - kButtonSize) / 2, kButtonSize,
                       kButtonSize);
}

void ChartPageTool::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(boxRect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QColor aqua = chartColor(16776960);
    // Black at the top running to aqua along the bottom edge; the text stays on the dark part.
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0.0, Qt::black);
    g.setColorAt(0.55, Qt::black);
    g.setColorAt(1.0, aqua.darker(160));
    p.setPen(QPen(aqua.darker(130), 1.0));
    p.setBrush(g);
    p.drawRoundedRect(r, 4.0, 4.0);
    p.setPen(aqua);
    p.drawText(boxRect(), Qt::AlignCenter, text_);
}

// --- ChartLegendCheck ----------------------------------------------------------------------------

ChartLegendCheck::ChartLegendCheck(const QString& title, int color, QWidget* parent)
    : QCheckBox(title, parent), color_(chartColor(color)) {
    setFont(pixelFont(this, kLegendFontPixels));
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

QSize ChartLegendCheck::sizeHint() const {
    const int textWidth = fontMetrics().horizontalAdvance(text());
    return {kLegendBox + 3 + kLegendMark + 3 + textWidth + 1, fontMetrics().height()};
}

bool ChartLegendCheck::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

void ChartLegendCheck::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int y = (height() - kLegendBox) / 2;
    const QRect box(0, y, kLegendBox, kLegendBox);
    p.setPen(QColor(170, 170, 170));
    p.setBrush(Qt::black);
    p.drawRect(box.adjusted(0, 0, -1, -1));
    if (isChecked()) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF{QPointF(box.left() + 1.5, box.top() + 3.5),
                                 QPointF(box.left() + 3.0, box.top() + 5.0),
                                 QPointF(box.left() + 5.5, box.top() + 1.5)});
        p.setRenderHint(QPainter::Antialiasing, false);
    }
    const int markX = kLegendBox + 3;
    p.fillRect(QRect(markX, height() / 2 - 1, kLegendMark, 3), color_);
    p.setPen(color_);
    p.drawText(QRect(markX + kLegendMark + 3, 0, width(), height()),
               Qt::AlignLeft | Qt::AlignVCenter, text());
}

// --- ChartBorder ---------------------------------------------------------------------------------

ChartBorder::ChartBorder(int color, QWidget* parent) : QWidget(parent), color_(chartColor(color)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
}

void ChartBorder::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(QPen(color_, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

// --- TelemetryChartView --------------------------------------------------------------------------

TelemetryChartView::TelemetryChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
    setRubberBand(QChartView::RectangleRubberBand);
    setFrameShape(QFrame::NoFrame);
    setBackgroundBrush(Qt::black);
    // Fast line series and dotted grids are drawn crisp, pixel by pixel: antialiased, every grid
    // line would cover two pixel columns and cost twice as much to fill.
    setRenderHint(QPainter::Antialiasing, false);
    setCursor(Qt::CrossCursor);
    viewport()->setCursor(Qt::CrossCursor);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

bool TelemetryChartView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Paint && scene() != nullptr) {
        // The scene's pending changes mark the old and the new places of the items that changed
        // for the next paint, before this one records where it draws them.
        QCoreApplication::sendPostedEvents(scene(), QEvent::MetaCall);
    }
    return QChartView::viewportEvent(event);
}

void TelemetryChartView::contextMenuEvent(QContextMenuEvent* event) {
    // The mouse's right button pans and opens the menu on its release; here only the keyboard.
    if (event->reason() != QContextMenuEvent::Mouse)
        emit menuRequested(event->globalPos());
    event->accept();
}

void TelemetryChartView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    emit doubleClicked();
}

void TelemetryChartView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        panning_ = true;
        panFrom_ = pressedAt_ = event->position();
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void TelemetryChartView::mouseMoveEvent(QMouseEvent* event) {
    if (panning_) {
        const QPointF d = event->position() - panFrom_;
        panFrom_ = event->position();
        chart()->scroll(-d.x(), d.y());
        event->accept();
        return;
    }
    QChartView::mouseMoveEvent(event);
}

void TelemetryChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // Right button pans; QChartView would zoom out here instead. A click that did not pan
        // asks for the menu.
        panning_ = false;
        event->accept();
        if ((event->position() - pressedAt_).manhattanLength() < QApplication::startDragDistance())
            emit menuRequested(event->globalPosition().toPoint());
        return;
    }
    QChartView::mouseReleaseEvent(event);
}
