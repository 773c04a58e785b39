#include "console/widgets/port_box.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFrame>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace {

constexpr int kPadding = 4; // left and right of the text, inside the item

} // namespace

PortBox::PortBox(QWidget* parent) : QComboBox(parent) {
    setItemDelegate(new PortItemDelegate(this));
    connect(this, &QComboBox::currentTextChanged, this, [this] { updateToolTip(); });
}

void PortBox::updateToolTip() {
    const QString text = currentText();
    QString tip = text;
    const int index = findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (index >= 0) {
        // What the item knows, less the line that names it once more.
        const QString known = itemData(index, Qt::ToolTipRole).toString();
        for (const QString& line : known.split('\n', Qt::SkipEmptyParts)) {
            if (!line.endsWith(QStringLiteral(": ") + text))
                tip += '\n' + line;
        }
    }
    setToolTip(tip);
}

void PortBox::setDetailColor(const QColor& color) {
    if (auto* delegate = qobject_cast<PortItemDelegate*>(itemDelegate()))
        delegate->setDetailColor(color);
    view()->viewport()->update();
}

void PortBox::addPort(const QString& text, const QString& detail, const QString& toolTip) {
    addItem(text);
    const int index = count() - 1;
    if (!detail.isEmpty())
        setItemData(index, detail, DetailRole);
    if (!toolTip.isEmpty())
        setItemData(index, toolTip, Qt::ToolTipRole);
}

QString PortBox::itemDetail(int index) const {
    return itemData(index, DetailRole).toString();
}

void PortBox::showPopup() {
    emit popupAboutToShow();
    // A device path with its second line is far wider than the box: the list may stick out.
    QAbstractItemView* list = view();
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.font = list->font();
    int itemWidth = 0;
    for (int row = 0; row < count(); ++row) {
        const QSize hint = list->itemDelegate()->sizeHint(option, model()->index(row, 0));
        itemWidth = std::max(itemWidth, hint.width());
    }
    const int scrollBar =
        count() > maxVisibleItems() ? list->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    int wanted = std::max(width(), itemWidth + scrollBar + 2 * list->frameWidth() + 2 * kPadding);
    // Never wider than the screen: the box then places the list inside it, and a longer item is
    // shortened in its middle.
    if (const QScreen* where = screen()) {
        const auto* container = qobject_cast<const QFrame*>(list->parentWidget());
        const int frame = container != nullptr ? container->frameWidth() : 0;
        wanted = std::min(wanted, where->availableGeometry().width() - 2 * frame);
    }
    list->setMinimumWidth(wanted);
    QComboBox::showPopup();
}

QFont PortItemDelegate::detailFont(const QFont& itemFont) {
    QFont font = itemFont;
    font.setBold(false);
    if (font.pixelSize() > 0)
        font.setPixelSize(std::max(8, font.pixelSize() - 1));
    else
        font.setPointSizeF(std::max(6.0, font.pointSizeF() - 1));
    return font;
}

void PortItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const QString detail = index.data(PortBox::DetailRole).toString();
    if (detail.isEmpty()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget); // background, focus

    const bool selected = opt.state.testFlag(QStyle::State_Selected);
    const QColor ink = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    QColor detailInk = selected ? ink : detailColor_;
    if (!detailInk.isValid())
        detailInk = opt.palette.color(QPalette::PlaceholderText);
    const QRect area = opt.rect.adjusted(kPadding, 1, -kPadding, -1);
    const QFontMetrics textMetrics(opt.font);
    const QFont small = detailFont(opt.font);
    const QFontMetrics smallMetrics(small);

    painter->save();
    painter->setPen(ink);
    painter->setFont(opt.font);
    const QRect first(area.left(), area.top(), area.width(), textMetrics.height());
    painter->drawText(first, Qt::AlignLeft | Qt::AlignVCenter,
                      textMetrics.elidedText(text, Qt::ElideMiddle, first.width()));
    painter->setFont(small);
    painter->setPen(detailInk);
    const QRect second(area.left(), first.bottom() + 1, area.width(), smallMetrics.height());
    painter->drawText(second, Qt::AlignLeft | Qt::AlignVCenter,
                      smallMetrics.elidedText(detail, Qt::ElideRight, second.width()));
    painter->restore();
}

QSize PortItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const QString detail = index.data(PortBox::DetailRole).toString();
    if (detail.isEmpty())
        return QStyledItemDelegate::sizeHint(option, index);
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QFontMetrics textMetrics(opt.font);
    const QFontMetrics smallMetrics(detailFont(opt.font));
    const int width =
        std::max(textMetrics.horizontalAdvance(opt.text), smallMetrics.horizontalAdvance(detail));
    return QSize(width + 2 * kPadding, textMetrics.height() + smallMetrics.height() + 3);
}
