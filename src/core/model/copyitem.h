#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>

enum CopyState
{
    Unprocessed = 0,
    SourceError = 1,
    DestinationError = 2,
    Skipped = 3,
    Copied = 4
};

// One file, folder or symbolic link of a run together with its outcome. A value
// class: jobs and copiers derive from it, fill in the outcome and hand the item back.
// Its data string joins the fields with U+2028 and has no escaping, so no field may
// contain that character.
class CopyItem
{
public:
    CopyItem() = default;
    CopyItem(const QString& sourcePath, const QString& destinationPath, qint64 fileSize,
             bool isFolder, const QString& linkTarget);
    CopyItem(const CopyItem&) = default;
    CopyItem& operator=(const CopyItem&) = default;
    virtual ~CopyItem() = default;

    virtual QString toDataString() const;
    // Replaces the whole item by the one described; false (and one warning) when the
    // text is malformed, in which case the fields read so far stay set.
    virtual bool fromDataString(const QString& dataString);

    // Takes the two paths from the front of the list.
    bool pathsFromDataStringList(QStringList& list);

    void resetState();
    void setSourceError(const QString& message);
    void setDestinationError(const QString& message);
    bool isError() const { return copy_state == SourceError || copy_state == DestinationError; }

    static QString normalizeItemPath(const QString& path);
    // No real file comes near 2^62 bytes, and any two sizes up to it add up without
    // overflow; -1 is the size of an item never measured (the default).
    static constexpr qint64 MaximumFileSize = Q_INT64_C(1) << 62;
    static bool isValidFileSize(qint64 size)
    {
        return size == -1 || (size >= 0 && size <= MaximumFileSize);
    }
    static QChar dataSeparator() { return QChar(0x2028); }

    QString source_path;
    QString destination_path;
    qint64 file_size = -1;
    bool is_folder = false;
    QString link_target;
    qint64 elapsed_time = 0;
    int copy_state = Unprocessed;
    QString copy_message;
    bool is_checked = false;
    QStringList info_list;
    // For a file with several names (hard links) in the run: the source path of the name met
    // first, whose copy the later names are linked to. The first name holds its own path;
    // a file with one name, none.
    QString hard_link_first;
    // The digest of the bytes a verified copy (or a verify) found equal on both sides, for
    // the run's checksum list; held in memory only, never stored.
    QByteArray digest;
    // A file or folder a filter left out: "exclude" (filter_pattern names the pattern),
    // "include", "hidden" or "link"; empty for any other item. Such an item is listed, never
    // counted among the run's files.
    QString filtered_by;
    QString filter_pattern;

    // A later name of such a file: made as a link to the first name's copy.
    bool linksToEarlierName() const
    {
        return !hard_link_first.isEmpty() && hard_link_first != source_path;
    }
};

Q_DECLARE_METATYPE(CopyItem)
