#include "model/copyitem.h"

#include <QDebug>

CopyItem::CopyItem(const QString& sourcePath, const QString& destinationPath, qint64 fileSize,
                   bool isFolder, const QString& linkTarget)
    : source_path(normalizeItemPath(sourcePath)),
      destination_path(normalizeItemPath(destinationPath)), file_size(fileSize),
      is_folder(isFolder), link_target(linkTarget)
{
}

QString CopyItem::toDataString() const
{
    QStringList list;
    list.reserve(10 + info_list.size());
    list << source_path << destination_path << QString::number(file_size)
         << QString::number(is_folder ? 1 : 0) << link_target << QString::number(elapsed_time)
         << QString::number(copy_state) << copy_message << QString::number(is_checked ? 1 : 0)
         << QString::number(info_list.size());
    list << info_list;
    return list.join(dataSeparator());
}

bool CopyItem::fromDataString(const QString& dataString)
{
    *this = CopyItem();
    if (dataString.isEmpty())
        return false;

    // Strings without the separator are the earlier comma form.
    QStringList list = dataString.contains(dataSeparator())
                           ? dataString.split(dataSeparator(), Qt::KeepEmptyParts)
                           : dataString.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (!pathsFromDataStringList(list))
        return false;

    auto fail = [&dataString](const char* message) {
        qWarning() << message << dataString;
        return false;
    };
    bool ok = false;

    if (list.isEmpty())
        return true;
    const qint64 size = list.takeFirst().toLongLong(&ok);
    if (!ok)
        return fail("Invalid file_size found in CopyItem::fromDataString(...):");
    file_size = size;

    if (list.isEmpty())
        return true;
    const int folder = list.takeFirst().toInt(&ok);
    if (!ok)
        return fail("Invalid is_folder found in CopyItem::fromDataString(...):");
    is_folder = folder == 1;

    if (list.isEmpty())
        return true;
    link_target = list.takeFirst();

    if (list.isEmpty())
        return true;
    const qint64 elapsed = list.takeFirst().toLongLong(&ok);
    if (!ok)
        return fail("Invalid elapsed_time found in CopyItem::fromDataString(...):");
    elapsed_time = elapsed;

    if (list.isEmpty())
        return true;
    const int state = list.takeFirst().toInt(&ok);
    if (!ok)
        return fail("Invalid copy_state found in CopyItem::fromDataString(...):");
    if (state < Unprocessed || state > Copied)
        return fail("Invalid copy_state range found in CopyItem::fromDataString(...):");
    copy_state = state;

    if (list.isEmpty())
        return true;
    copy_message = list.takeFirst();

    if (list.isEmpty())
        return true;
    const int checked = list.takeFirst().toInt(&ok);
    if (!ok)
        return fail("Invalid is_checked found in CopyItem::fromDataString(...):");
    is_checked = checked == 1;

    if (list.isEmpty())
        return true;
    const int infoCount = list.takeFirst().toInt(&ok);
    if (!ok)
        return fail("Invalid info_list_size found in CopyItem::fromDataString(...):");

    // The count comes from the file: trust the elements present, not the number.
    for (int i = 0; i < infoCount; ++i) {
        if (list.isEmpty())
            return fail("Invalid info_list item found in CopyItem::fromDataString(...):");
        info_list.append(list.takeFirst());
    }
    return true;
}

bool CopyItem::pathsFromDataStringList(QStringList& list)
{
    if (list.size() < 2) {
        qWarning() << "Invalid argument found in CopyItem::pathsFromDataStringList(...):"
                   << list.join(QLatin1Char('|'));
        return false;
    }
    source_path = normalizeItemPath(list.takeFirst());
    destination_path = normalizeItemPath(list.takeFirst());
    return true;
}

void CopyItem::resetState()
{
    copy_state = Unprocessed;
    copy_message.clear();
}

void CopyItem::setSourceError(const QString& message)
{
    copy_state = SourceError;
    copy_message = message;
}

void CopyItem::setDestinationError(const QString& message)
{
    copy_state = DestinationError;
    copy_message = message;
}

QString CopyItem::normalizeItemPath(const QString& path)
{
    // Paths are stored exactly as the walker produced them; an empty path stays empty.
    return path;
}
