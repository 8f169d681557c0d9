#pragma once

#include "engine/manifest.h"

#include <QAbstractTableModel>
#include <QVector>

// The results of a checksum-list check that are not "equal", one row each: what was found,
// the file's name (control characters and bytes that are not UTF-8 shown escaped) and the
// reason the system gave. Sorting keeps the rows themselves in order, which is quick
// enough for lists of a hundred thousand files.
class ManifestCheckModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum class Column
    {
        Kind,
        Path,
        Detail
    };
    Q_ENUM(Column)

    explicit ManifestCheckModel(QObject* parent = nullptr);

    void setResults(QVector<ManifestCheck::Result> results);
    static QString kindText(ManifestCheck::Outcome outcome);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // By kind (in the order of the outcomes, then by name), by name or by reason.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    QString pathText(const ManifestCheck::Result& result) const;

    QVector<ManifestCheck::Result> m_results;
};
