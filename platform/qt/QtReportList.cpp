#include "platform/qt/QtReportList.h"

#include <QHeaderView>

#include "platform/qt/QtScale.h"

namespace talvex::platform::qt {

QTreeWidget* MakeReportList(QWidget* parent) {
    auto* table = new QTreeWidget(parent);
    table->setRootIsDecorated(false);
    table->setItemsExpandable(false);
    table->setUniformRowHeights(true);
    table->setAllColumnsShowFocus(true);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->header()->setSectionResizeMode(QHeaderView::Interactive);
    table->header()->setStretchLastSection(true);
    table->header()->setSectionsMovable(false);
    return table;
}

void ShowReportColumns(QTreeWidget& table, const Control& control) {
    const auto& columns = control.Columns();
    const int before = table.columnCount();
    QStringList captions;
    for (const ReportColumn& column : columns) captions << QString::fromStdString(column.caption);
    table.setColumnCount(static_cast<int>(columns.size()));
    table.setHeaderLabels(captions);
    // A width the user has set stays; only new columns take their first width.
    for (int i = before; i < static_cast<int>(columns.size()); ++i) {
        table.setColumnWidth(i, Px(columns[static_cast<std::size_t>(i)].widthTwips));
    }
}

void ShowReportRows(QTreeWidget& table, const Control& control) {
    const auto& rows = control.Rows();
    const int count = static_cast<int>(rows.size());
    while (table.topLevelItemCount() > count) {
        delete table.takeTopLevelItem(table.topLevelItemCount() - 1);
    }
    while (table.topLevelItemCount() < count) table.addTopLevelItem(new QTreeWidgetItem());
    for (int r = 0; r < count; ++r) {
        QTreeWidgetItem* item = table.topLevelItem(r);
        const auto& cells = rows[static_cast<std::size_t>(r)];
        for (int c = 0; c < table.columnCount(); ++c) {
            const auto at = static_cast<std::size_t>(c);
            const QString text = at < cells.size() ? QString::fromStdString(cells[at]) : QString();
            if (item->text(c) != text) item->setText(c, text);
        }
    }
}

void ShowReportSelection(QTreeWidget& table, const Control& control) {
    const int index = control.ListIndex();
    QTreeWidgetItem* item = index >= 0 ? table.topLevelItem(index) : nullptr;
    if (item == table.currentItem() && (!item || item->isSelected())) return;
    // Moving the current item would scroll it into view; the program's refresh must
    // leave the scroll position alone.
    const bool autoScroll = table.hasAutoScroll();
    table.setAutoScroll(false);
    if (item) {
        table.setCurrentItem(item);
    } else {
        table.setCurrentItem(nullptr);
        table.clearSelection();
    }
    table.setAutoScroll(autoScroll);
}

int ReportRowAt(const QTreeWidget& table, QPoint inViewport) {
    QTreeWidgetItem* item = table.itemAt(inViewport);
    return item ? table.indexOfTopLevelItem(item) : -1;
}

}  // namespace talvex::platform::qt
