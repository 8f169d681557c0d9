#include "manifestcheckmodel.h"

#include "fs/filenamecodec.h"

#include <algorithm>
#include <functional>
#include <numeric>

namespace {

constexpr int ColumnCount = 3;

} // namespace

ManifestCheckModel::ManifestCheckModel(QObject* parent) : QAbstractTableModel(parent) {}

void ManifestCheckModel::setResults(QVector<ManifestCheck::Result> results)
{
    beginResetModel();
    m_results = std::move(results);
    endResetModel();
}

QString ManifestCheckModel::kindText(ManifestCheck::Outcome outcome)
{
    switch (outcome) {
    case ManifestCheck::Outcome::Equal:
        return tr("Equal");
    case ManifestCheck::Outcome::Missing:
        return tr("Missing");
    case ManifestCheck::Outcome::Differs:
        return tr("Differing");
    case ManifestCheck::Outcome::Unreadable:
        return tr("Unreadable");
    case ManifestCheck::Outcome::NotListed:
        return tr("Not listed");
    case ManifestCheck::Outcome::Malformed:
        return tr("Not a checksum line");
    }
    return QString();
}

int ManifestCheckModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_results.size();
}

int ManifestCheckModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString ManifestCheckModel::pathText(const ManifestCheck::Result& result) const
{
    // A malformed line has no file: its path holds the line's number.
    if (result.outcome == ManifestCheck::Outcome::Malformed)
        return tr("Line %1 of the checksum list").arg(result.path);
    return FileNameCodec::visibleText(result.path);
}

QVariant ManifestCheckModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_results.size() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QVariant();
    const ManifestCheck::Result& result = m_results.at(index.row());
    switch (static_cast<Column>(index.column())) {
    case Column::Kind:
        return kindText(result.outcome);
    case Column::Path:
        return pathText(result);
    case Column::Detail:
        return result.detail;
    }
    return QVariant();
}

QVariant ManifestCheckModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (static_cast<Column>(section)) {
    case Column::Kind:
        return tr("Result");
    case Column::Path:
        return tr("File");
    case Column::Detail:
        return tr("Reason");
    }
    return QVariant();
}

void ManifestCheckModel::sort(int column, Qt::SortOrder order)
{
    using Result = ManifestCheck::Result;
    const auto byPath = [](const Result& a, const Result& b) { return a.path < b.path; };
    std::function<bool(const Result&, const Result&)> less;
    switch (static_cast<Column>(column)) {
    case Column::Kind:
        less = [byPath](const Result& a, const Result& b) {
            return a.outcome != b.outcome ? a.outcome < b.outcome : byPath(a, b);
        };
        break;
    case Column::Path:
        less = byPath;
        break;
    case Column::Detail:
        less = [](const Result& a, const Result& b) { return a.detail < b.detail; };
        break;
    default:
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    // Where each row goes, so that a selected row stays selected.
    QVector<int> rows(m_results.size());
    std::iota(rows.begin(), rows.end(), 0);
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        return order == Qt::AscendingOrder ? less(m_results.at(a), m_results.at(b))
                                           : less(m_results.at(b), m_results.at(a));
    });
    QVector<ManifestCheck::Result> sorted;
    sorted.reserve(m_results.size());
    QVector<int> newRow(m_results.size());
    for (int i = 0; i < rows.size(); ++i) {
        sorted.append(m_results.at(rows.at(i)));
        newRow[rows.at(i)] = i;
    }
    m_results = std::move(sorted);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(this->index(newRow.at(index.row()), index.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
