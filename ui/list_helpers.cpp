#include "ui/list_helpers.h"

#include <QHeaderView>
#include <QStringList>
#include <QTreeWidget>

#include "base/text.h"
#include "run/prompter.h"
#include "tasks/dimension_checks/records_query.h"
#include "warehouse/list_columns.h"

namespace varnel {

namespace {

// The record a row shows, as its position among the records.
constexpr int kRecordRole = Qt::UserRole;

void SetAllChecks(QTreeWidget& list, Qt::CheckState state) {
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        list.topLevelItem(i)->setCheckState(0, state);
}

QTreeWidgetItem* NewCheckItem(QTreeWidget& list, bool ticked) {
    auto* item = new QTreeWidgetItem(&list);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                   Qt::ItemNeverHasChildren);
    item->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
    return item;
}

}  // namespace

QTreeWidget* MakeCheckList(QWidget* parent, const char* name) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionsMovable(false);
    list->setHeaderLabels({});
    list->setColumnCount(0);
    return list;
}

void FillListHeaders(const std::vector<ColumnInfo>& columns, QTreeWidget& list) {
    QStringList captions;
    for (const auto& caption : ListHeaders(columns)) captions << QString::fromStdString(caption);
    list.setColumnCount(static_cast<int>(captions.size()));
    list.setHeaderLabels(captions);
}

void FillListRows(const EditableResult& records, QTreeWidget& list) {
    const auto shown = ShownColumns(records.Columns());
    for (std::size_t row = 0; row < records.RowCount(); ++row) {
        auto* item = NewCheckItem(list, IsRecordTicked(records, row));
        item->setData(0, kRecordRole, QVariant::fromValue(static_cast<qulonglong>(row)));
        for (std::size_t i = 0; i < shown.size(); ++i)
            item->setText(
                static_cast<int>(i),
                QString::fromStdString(TrimBlanks(records.Value(row, shown[i]).value_or(""))));
    }
}

std::optional<EditableResult> OpenIntoControl(QTreeWidget& list, Connection& connection,
                                              const std::string& query, bool headersOnly,
                                              Prompter& prompter) {
    std::optional<EditableResult> records;
    std::string message;
    if (!RunRecordsQuery(connection, query, records, message)) {
        prompter.ShowMessage(message, kStylePlain, "Varnel");
        return std::nullopt;
    }
    FillListHeaders(records->Columns(), list);
    if (!headersOnly) FillListRows(*records, list);
    return records;
}

std::optional<EditableResult> FillListSorted(QTreeWidget& list, Connection& connection,
                                             const std::string& query,
                                             const std::string& sortColumns, Prompter& prompter) {
    list.clear();
    list.setColumnCount(0);
    return OpenIntoControl(list, connection, SortedRecordsQuery(query, sortColumns), false,
                           prompter);
}

void SaveCheckedSelection(const QTreeWidget& list, Connection& warehouse, EditableResult* records,
                          Prompter& prompter) {
    std::string message;
    if (records != nullptr && !records->Columns().empty()) {
        // Nothing is listed, so nothing was ticked or cleared.
        if (list.topLevelItemCount() == 0) return;
        for (int i = 0; i < list.topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = list.topLevelItem(i);
            const auto row = static_cast<std::size_t>(item->data(0, kRecordRole).toULongLong());
            if (row < records->RowCount())
                SetRecordTick(*records, row, item->checkState(0) == Qt::Checked);
        }
    }
    if (!SaveRecordSelection(warehouse, records, message))
        prompter.ShowMessage(message, kStylePlain, "Varnel");
}

bool SaveCheckedSelection(const QTreeWidget& list, Connection& warehouse, Prompter& prompter) {
    std::string message;
    if (SaveDimensionTableSelection(warehouse, ListedTables(list), message)) return true;
    prompter.ShowMessage(message, kStylePlain, "Varnel");
    return false;
}

void FillTableList(const std::vector<DimensionTableItem>& tables, QTreeWidget& list) {
    for (const auto& table : tables)
        NewCheckItem(list, table.Selected)->setText(0, QString::fromStdString(table.Name));
}

std::vector<DimensionTableItem> ListedTables(const QTreeWidget& list) {
    std::vector<DimensionTableItem> tables;
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list.topLevelItem(i);
        tables.push_back({item->text(0).toStdString(), item->checkState(0) == Qt::Checked});
    }
    return tables;
}

void CheckAllItems(QTreeWidget& list) {
    SetAllChecks(list, Qt::Checked);
}

void UncheckAllItems(QTreeWidget& list) {
    SetAllChecks(list, Qt::Unchecked);
}

std::vector<std::string> ListTexts(const QTreeWidget& list) {
    std::vector<std::string> texts;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        texts.push_back(list.topLevelItem(i)->text(0).toStdString());
    return texts;
}

std::vector<bool> ListTicks(const QTreeWidget& list) {
    std::vector<bool> ticks;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        ticks.push_back(list.topLevelItem(i)->checkState(0) == Qt::Checked);
    return ticks;
}

}  // namespace varnel
