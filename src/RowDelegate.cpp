#include "RowDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetricsF>

void RowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                        const QModelIndex &index) const
{
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const auto *view = qobject_cast<const QAbstractItemView *>(option.widget);
    if (view) {
        // Every character has the same width: the lines are in a fixed-pitch font.
        const qreal charWidth = QFontMetricsF(item.font).horizontalAdvance(u'#');
        const QRect shown = item.rect.intersected(view->viewport()->rect());
        const int first = qMax(0, int((shown.left() - item.rect.left()) / charWidth) - 1);
        const int count = int(shown.width() / charWidth) + 3;
        if (charWidth > 0 && item.text.size() > count) {
            const int left = item.rect.left() + int(first * charWidth);
            item.text = item.text.mid(first, count);
            item.rect.setLeft(left);
            item.rect.setRight(qMin(option.rect.right(), left + int((count + 2) * charWidth) + 8));
        }
    }
    const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, option.widget);
}
