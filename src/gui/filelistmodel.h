#pragma once

#include "model/copyitem.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QVector>

// The rows of the "Report" tab: one copy item per row, in three columns (the path shown,
// its type, what happened to it). Only the items are kept, their strings shared with the
// copy task's lists; texts, icons and tool tips are made when the view asks, so a list of
// a hundred thousand items costs little more than the items. Rows keep their order of
// arrival until a column is sorted.
class FileListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        FileColumn = 0,
        TypeColumn,
        InformationColumn,
        ColumnCount
    };
    enum Role
    {
        SourceRole = Qt::UserRole,
        DestinationRole,
        // Whether the destination is the path shown.
        DestinationShownRole
    };

    explicit FileListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // Stable: rows that compare equal keep their order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Empties the list; onlyFileNames decides the shown text of the rows that follow.
    void clear(bool onlyFileNames);
    void append(const QVector<CopyItem>& items);
    const CopyItem& item(int row) const { return m_items.at(row); }

    // The rules of one row, also used to filter the rows before they are added.
    static bool isDestinationShown(const CopyItem& item);
    static QString shownText(const CopyItem& item, bool onlyFileNames);
    static QString typeText(const CopyItem& item);
    // plain: system failures in plain words ("No permission."), as the list shows them;
    // otherwise with their system call and code, as the tool tip shows them.
    static QString informationText(const CopyItem& item, bool plain = false);

private:
    QString text(const CopyItem& item, int column) const;
    QVariant toolTip(const CopyItem& item, int column) const;
    const QIcon& icon(const CopyItem& item) const;

    QVector<CopyItem> m_items;
    bool m_onlyFileNames = false;
    // Loaded once: every row shares them.
    QIcon m_errorIcon;
    QIcon m_checkedIcon;
    QIcon m_skippedIcon;
    QIcon m_copiedIcon;
    QIcon m_unprocessedIcon;
};
