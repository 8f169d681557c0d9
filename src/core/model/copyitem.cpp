#include "model/copyitem.h"

#include <QDebug>

namespace {

// A byte of a name that is not valid UTF-8 is held as a lone surrogate U+DC80..U+DCFF (see
// FileNameCodec); a pair's low half lies in that range too, so only a lone one counts.
bool isEscapedByteAt(const QString& text, int i)
{
    const char16_t u = text.at(i).unicode();
    return u >= 0xdc80 && u <= 0xdcff && (i == 0 || !text.at(i - 1).isHighSurrogate());
}

bool holdsEscapedBytes(const QString& text)
{
    for (int i = 0; i < text.size(); ++i) {
        if (isEscapedByteAt(text, i))
            return true;
    }
    return false;
}

// Such bytes cannot pass through the UTF-8 of a task file: they are stored as %XX, and '%'
// as %25.
QString percentEncoded(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (u == '%' || isEscapedByteAt(text, i))
            out +=
                QStringLiteral("%%1").arg(uint(u == '%' ? u : u - 0xdc00), 2, 16, QLatin1Char('0'));
        else
            out += text.at(i);
    }
    return out;
}

bool percentDecoded(const QString& text, QString* out)
{
    out->clear();
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('%')) {
            out->append(text.at(i));
            continue;
        }
        bool ok = false;
        const uint byte = text.mid(i + 1, 2).toUInt(&ok, 16);
        if (!ok || i + 2 >= text.size() || (byte != '%' && byte < 0x80))
            return false;
        out->append(byte == '%' ? QChar('%') : QChar(char16_t(0xdc00 + byte)));
        i += 2;
    }
    return true;
}

QString hardLinkTag()
{
    return QStringLiteral("hardlink=");
}

QString filterTag()
{
    return QStringLiteral("filter=");
}

QString patternTag()
{
    return QStringLiteral("pattern=");
}

} // namespace

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
    // Paths holding bytes that are not UTF-8 are stored percent-encoded, flagged by a '%'
    // before the size: a reader that does not know the form refuses the item rather than
    // taking the encoded text for a path.
    if (holdsEscapedBytes(source_path) || holdsEscapedBytes(destination_path) ||
        holdsEscapedBytes(link_target) || holdsEscapedBytes(hard_link_first))
        list << percentEncoded(source_path) << percentEncoded(destination_path)
             << QLatin1Char('%') + QString::number(file_size);
    else
        list << source_path << destination_path << QString::number(file_size);
    list << QString::number(is_folder ? 1 : 0)
         << (list.at(2).startsWith(QLatin1Char('%')) ? percentEncoded(link_target) : link_target)
         << QString::number(elapsed_time) << QString::number(copy_state) << copy_message
         << QString::number(is_checked ? 1 : 0) << QString::number(info_list.size());
    list << info_list;
    // After the infos, which older readers take by their count and then stop; named, as
    // whatever else follows them is ignored.
    if (!hard_link_first.isEmpty())
        list << hardLinkTag() + (list.at(2).startsWith(QLatin1Char('%'))
                                     ? percentEncoded(hard_link_first)
                                     : hard_link_first);
    if (!filtered_by.isEmpty())
        list << filterTag() + filtered_by
             << patternTag() + QString(filter_pattern).replace(dataSeparator(), QLatin1Char('?'));
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
    QString sizeText = list.takeFirst();
    const bool encoded = sizeText.startsWith(QLatin1Char('%'));
    if (encoded) {
        sizeText.remove(0, 1);
        QString source;
        QString destination;
        if (!percentDecoded(source_path, &source) ||
            !percentDecoded(destination_path, &destination))
            return fail("Invalid encoded path found in CopyItem::fromDataString(...):");
        source_path = source;
        destination_path = destination;
    }
    const qint64 size = sizeText.toLongLong(&ok);
    if (!ok || !isValidFileSize(size))
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
    if (encoded && !percentDecoded(QString(link_target), &link_target))
        return fail("Invalid encoded path found in CopyItem::fromDataString(...):");

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
    if (!list.isEmpty() && list.first().startsWith(hardLinkTag())) {
        hard_link_first = list.takeFirst().mid(hardLinkTag().size());
        if (encoded && !percentDecoded(QString(hard_link_first), &hard_link_first))
            return fail("Invalid encoded path found in CopyItem::fromDataString(...):");
    }
    if (!list.isEmpty() && list.first().startsWith(filterTag())) {
        filtered_by = list.takeFirst().mid(filterTag().size());
        if (!list.isEmpty() && list.first().startsWith(patternTag()))
            filter_pattern = list.takeFirst().mid(patternTag().size());
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
