#include "console/scaled_view.h"

#include "console/screen_fit.h"

#include <QEvent>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <vector>

namespace {

// Hands the page's own mouse moves to the window's handler.
class PageMoves : public QObject {
public:
    PageMoves(QObject* parent, std::function<void()> moved)
        : QObject(parent), moved_(std::move(moved)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseMove && moved_) {
            moved_();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> moved_;
};

} // namespace

void showScaled(QWidget& window, QSize design, double scale,
                const std::function<void()>& backgroundMoved) {
    auto* page = new QWidget;
    page->setObjectName(window.objectName() + QStringLiteral("Page"));
    page->setPalette(window.palette());
    page->setAutoFillBackground(window.autoFillBackground());
    page->setFont(window.font());
    page->setMouseTracking(window.hasMouseTracking());
    page->setFixedSize(design);

    std::vector<QWidget*> controls;
    for (QObject* child : window.children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget != nullptr && !widget->isWindow()) {
            controls.push_back(widget);
        }
    }
    for (QWidget* widget : controls) {
        // Reparenting hides a widget; one hidden by design stays hidden.
        const bool shown = !widget->isHidden();
        widget->setParent(page);
        widget->setVisible(shown);
    }
    page->installEventFilter(new PageMoves(page, backgroundMoved));

    // The factor is taken back from the whole number of pixels across, so that both directions
    // scale alike and a pixel of the window stands for exactly 1 / factor designed pixels.
    const screen_fit::Size design_{design.width(), design.height()};
    const double exact = double(screen_fit::scaledSize(design_, scale).width) / design.width();
    const screen_fit::Size shown = screen_fit::scaledSize(design_, exact);
    auto* view = new QGraphicsView(&window);
    view->setObjectName(window.objectName() + QStringLiteral("View"));
    auto* scene = new QGraphicsScene(view);
    scene->addWidget(page);
    scene->setSceneRect(0, 0, design.width(), design.height());
    view->setScene(scene);
    view->setFrameStyle(0);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    view->setBackgroundBrush(window.palette().window());
    view->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                         QPainter::SmoothPixmapTransform);
    // Whole repaints of what changed: the dots and readouts move many times a second.
    view->setViewportUpdateMode(QGraphicsView::MinimalViewportUpdate);
    view->setTransform(QTransform::fromScale(exact, exact));
    view->setGeometry(0, 0, shown.width, shown.height);
    view->setMouseTracking(true);
    view->viewport()->setMouseTracking(true);
    window.setFixedSize(shown.width, shown.height);
}

double fitToScreen(QWidget& window, QSize design, const std::function<void()>& backgroundMoved) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return 1.0;
    }
    const QRect available = screen->availableGeometry();
    const screen_fit::Rect area{available.x(), available.y(), available.width(),
                                available.height()};
    const double scale = screen_fit::fitScale(
        area, screen_fit::Size{design.width(), design.height()}, screen_fit::FrameAllowance);
    if (scale >= 1.0) {
        return 1.0;
    }
    showScaled(window, design, scale, backgroundMoved);
    const screen_fit::Point at = screen_fit::fitPlacement(
        area, screen_fit::Size{window.width() + screen_fit::FrameAllowance.width,
                               window.height() + screen_fit::FrameAllowance.height});
    window.move(at.x, at.y);
    return scale;
}
