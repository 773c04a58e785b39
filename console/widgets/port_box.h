#pragma once
// PortBox: the panel's port box (ComboBox1), an editable drop-down list that tells its owner
// each time it is about to open, so that the owner can bring the list up to date first, and
// whose items may carry a second line (the port's kernel name, description, manufacturer and
// serial number) drawn under their text in the drop-down. The item's text alone is the port
// name; the second line is never part of it.

#include <QComboBox>
#include <QStyledItemDelegate>

class PortBox : public QComboBox {
    Q_OBJECT
public:
    // The item data that holds the second line.
    static constexpr int DetailRole = Qt::UserRole + 1;

    explicit PortBox(QWidget* parent = nullptr);

    // Appends an item with its second line (none when detail is empty) and its tooltip.
    void addPort(const QString& text, const QString& detail, const QString& toolTip);
    QString itemDetail(int index) const;
    // The colour of the second line of an item that is not highlighted (a highlighted one draws
    // both lines in the highlighted-text colour). By default the palette's placeholder colour.
    void setDetailColor(const QColor& color);

    // Emits popupAboutToShow, then opens the list as wide as its widest item, within the
    // screen.
    void showPopup() override;

    // The box's own tooltip: the whole name it shows (a long device path shows only its end in
    // the box), then, for a found port, what its item's tooltip tells besides. Follows every
    // change of the text; call it after changing the items with the box's signals blocked.
    void updateToolTip();

signals:
    void popupAboutToShow();
};

// Draws an item's text and, under it in a smaller plain font, its second line.
class PortItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The font of the second line, from the item's font.
    static QFont detailFont(const QFont& itemFont);

    void setDetailColor(const QColor& color) { detailColor_ = color; }

private:
    QColor detailColor_; // invalid: the palette's placeholder colour
};
