#include "filelistmodel.h"

#include "fs/filenamecodec.h"
#include "fs/filesystemutils.h"
#include "fs/pathutils.h"

#include <QTextDocument>

#include <algorithm>
#include <numeric>
#include <vector>

FileListModel::FileListModel(QObject* parent)
    : QAbstractTableModel(parent), m_errorIcon(QStringLiteral(":/images/FileError.png")),
      m_checkedIcon(QStringLiteral(":/images/FileChecked.png")),
      m_skippedIcon(QStringLiteral(":/images/FileSkipped.png")),
      m_copiedIcon(QStringLiteral(":/images/FileCopied.png")),
      m_unprocessedIcon(QStringLiteral(":/images/FileUnprocessed.png"))
{
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_items.size();
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

bool FileListModel::isDestinationShown(const CopyItem& item)
{
    return item.copy_state == DestinationError || item.is_checked;
}

QString FileListModel::shownText(const CopyItem& item, bool onlyFileNames)
{
    const QString& path = isDestinationShown(item) ? item.destination_path : item.source_path;
    return onlyFileNames ? FileSystemUtils::fileNameOf(path) : path;
}

QString FileListModel::typeText(const CopyItem& item)
{
    if (item.is_folder)
        return tr("folder");
    if (!item.link_target.isEmpty())
        return tr("link");
    return FileSystemUtils::limitedSuffix(item.source_path, 0).toLower();
}

QString FileListModel::informationText(const CopyItem& item, bool plain)
{
    QStringList lines;
    if (!item.copy_message.isEmpty())
        lines.append(plain ? FileSystemUtils::plainErrorText(item.copy_message)
                           : item.copy_message);
    for (const QString& line : item.info_list)
        lines.append(plain ? FileSystemUtils::plainErrorText(line) : line);
    lines.removeDuplicates();
    return lines.join(QLatin1Char('\n'));
}

QString FileListModel::text(const CopyItem& item, int column) const
{
    // A line break or another control character in a name would cut its row: shown escaped.
    switch (column) {
    case FileColumn:
        return FileNameCodec::visibleText(shownText(item, m_onlyFileNames));
    case TypeColumn:
        return typeText(item);
    case InformationColumn:
        return FileNameCodec::visibleText(informationText(item, true));
    default:
        return QString();
    }
}

QVariant FileListModel::toolTip(const CopyItem& item, int column) const
{
    QString tip;
    if (column == FileColumn)
        tip = QStringLiteral("%1\n-> %2").arg(item.source_path, item.destination_path);
    else if (column == InformationColumn)
        tip = informationText(item, false);
    const QString hint = tr("Right click to open menu");
    // A tool tip that looks like markup is shown as such: the text is made markup that
    // shows the names as they are.
    return Qt::convertFromPlainText(tip.isEmpty() ? hint : QStringLiteral("%1\n").arg(tip) + hint,
                                    Qt::WhiteSpaceNoWrap);
}

const QIcon& FileListModel::icon(const CopyItem& item) const
{
    if (item.isError())
        return m_errorIcon;
    if (item.is_checked)
        return m_checkedIcon;
    if (item.copy_state == Skipped)
        return m_skippedIcon;
    if (item.copy_state == Copied)
        return m_copiedIcon;
    return m_unprocessedIcon;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return QVariant();
    const CopyItem& item = m_items.at(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return text(item, column);
    case Qt::ToolTipRole:
        return toolTip(item, column);
    case Qt::DecorationRole:
        return column == FileColumn ? QVariant(icon(item)) : QVariant();
    case SourceRole:
        return column == FileColumn ? QVariant(item.source_path) : QVariant();
    case DestinationRole:
        return column == FileColumn ? QVariant(item.destination_path) : QVariant();
    case DestinationShownRole:
        return column == FileColumn ? QVariant(isDestinationShown(item)) : QVariant();
    default:
        return QVariant();
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case FileColumn:
        return tr("File");
    case TypeColumn:
        return tr("Type");
    case InformationColumn:
        return tr("Information");
    default:
        return QVariant();
    }
}

void FileListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount || m_items.size() < 2)
        return;
    // Case-folded once, so that each comparison is a plain one: a hundred thousand rows
    // sort in a few tens of milliseconds.
    std::vector<QString> keys;
    keys.reserve(m_items.size());
    for (const CopyItem& item : qAsConst(m_items))
        keys.push_back(text(item, column).toCaseFolded());
    std::vector<int> oldRows(m_items.size());
    std::iota(oldRows.begin(), oldRows.end(), 0);
    if (order == Qt::AscendingOrder)
        std::stable_sort(oldRows.begin(), oldRows.end(),
                         [&keys](int a, int b) { return keys[a] < keys[b]; });
    else
        std::stable_sort(oldRows.begin(), oldRows.end(),
                         [&keys](int a, int b) { return keys[b] < keys[a]; });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRows(oldRows.size());
    QVector<CopyItem> sorted;
    sorted.reserve(m_items.size());
    for (int row = 0; row < static_cast<int>(oldRows.size()); ++row) {
        newRows[oldRows[row]] = row;
        sorted.append(m_items.at(oldRows[row]));
    }
    m_items.swap(sorted);
    // The selection and the current row follow their items.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(this->index(newRows[index.row()], index.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FileListModel::clear(bool onlyFileNames)
{
    beginResetModel();
    m_items.clear();
    m_items.squeeze();
    m_onlyFileNames = onlyFileNames;
    endResetModel();
}

void FileListModel::append(const QVector<CopyItem>& items)
{
    if (items.isEmpty())
        return;
    beginInsertRows(QModelIndex(), m_items.size(), m_items.size() + items.size() - 1);
    m_items.append(items);
    endInsertRows();
}
