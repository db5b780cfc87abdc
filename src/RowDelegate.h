#ifndef ROWDELEGATE_H
#define ROWDELEGATE_H

#include <QStyledItemDelegate>

// Draws a line of the text as the style does, but only the characters that fall on the view: a
// row of a wide picture is thousands of characters long, and laying out the whole of it on every
// repaint would make each keystroke in Name wait for the rows on screen.
class RowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};

#endif
