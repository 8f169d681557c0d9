#include "engine/destinationnames.h"

#include "fs/filesystemutils.h"

#include <QCoreApplication>
#include <QFile>
#include <QPair>

#include <algorithm>

namespace {

// The texts belong to the walk that reports them.
const char* const textContext = "BuildFileListJob";
const char* const collatedText =
    QT_TRANSLATE_NOOP("BuildFileListJob", "another file of this run has the same name");
const char* const caseText = QT_TRANSLATE_NOOP(
    "BuildFileListJob",
    "another source name differs only by case, and the destination ignores case: %1");

// Whether two names of a folder may fold to one. Told from the bytes alone where every name
// is ASCII (most folders): decoding and folding each name cost more than the rest of the
// walk of a large tree.
bool mayHoldCaseTwins(const std::vector<Platform::FolderEntry>& entries)
{
    std::vector<QByteArray> lowered;
    lowered.reserve(entries.size());
    for (const Platform::FolderEntry& entry : entries) {
        for (const char c : entry.name) {
            if (c & 0x80)
                return true;
        }
        lowered.push_back(entry.name.toLower());
    }
    std::sort(lowered.begin(), lowered.end());
    return std::adjacent_find(lowered.cbegin(), lowered.cend()) != lowered.cend();
}

// A folded name as a key beside the lowered bytes of ASCII names: its Latin-1 bytes when it
// folded to ASCII, else a byte no ASCII key holds and its UTF-16 units (a name whose bytes
// are not UTF-8 is held as lone surrogates, which UTF-8 would not keep apart).
QByteArray foldedKey(const QString& folded)
{
    const bool ascii =
        std::all_of(folded.cbegin(), folded.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii)
        return folded.toLatin1();
    return QByteArray(1, char(0xff)) +
           QByteArray(reinterpret_cast<const char*>(folded.utf16()), folded.size() * 2);
}

} // namespace

void DestinationNames::clear()
{
    m_caseKeptNames.clear();
    m_replacedKeptNames.clear();
    m_collatedNames.clear();
    m_collateIgnoresCase = -1;
}

void DestinationNames::startFolder(const std::vector<Platform::FolderEntry>& entries,
                                   const QString& destinationFolder)
{
    m_caseKeptNames.clear();
    if (entries.size() < 2 || !mayHoldCaseTwins(entries))
        return;
    // Per name with case folded (foldedKey): the byte-wise first of its spellings, and how many
    // there are. An ASCII name folds as its bytes do, without being decoded.
    QHash<QByteArray, QPair<QByteArray, int>> spellings;
    spellings.reserve(int(entries.size()));
    for (const Platform::FolderEntry& entry : entries) {
        const bool ascii =
            std::all_of(entry.name.cbegin(), entry.name.cend(), [](char c) { return c >= 0; });
        QPair<QByteArray, int>& spelling =
            spellings[ascii ? entry.name.toLower()
                            : foldedKey(QFile::decodeName(entry.name).toCaseFolded())];
        if (spelling.second++ == 0 || entry.name < spelling.first)
            spelling.first = entry.name;
    }
    if (spellings.size() == int(entries.size()) ||
        !FileSystemUtils::destinationTraits(destinationFolder, m_mayProbe).caseInsensitive)
        return;
    for (auto it = spellings.cbegin(); it != spellings.cend(); ++it) {
        if (it->second > 1)
            m_caseKeptNames.insert(QFile::decodeName(it->first).toCaseFolded(),
                                   QFile::decodeName(it->first));
    }
}

void DestinationNames::startReplacedFolder(const std::vector<Platform::FolderEntry>& entries,
                                           const std::function<QString(const QString&)>& replaced,
                                           bool ignoresCase)
{
    m_replacedKeptNames.clear();
    m_replacedIgnoresCase = ignoresCase;
    if (entries.size() < 2)
        return;
    QHash<QString, QList<QByteArray>> takers;
    takers.reserve(int(entries.size()));
    for (const Platform::FolderEntry& entry : entries) {
        const QString name = replaced(QFile::decodeName(entry.name));
        takers[ignoresCase ? name.toCaseFolded() : name].append(entry.name);
    }
    if (takers.size() == int(entries.size()))
        return;
    for (auto it = takers.begin(); it != takers.end(); ++it) {
        if (it->size() < 2)
            continue;
        std::sort(it->begin(), it->end());
        QStringList names;
        for (const QByteArray& name : qAsConst(*it))
            names << QFile::decodeName(name);
        m_replacedKeptNames.insert(it.key(), names);
    }
}

QString DestinationNames::replacedKeeper(const QString& name, const QString& destinationName,
                                         int* number) const
{
    if (m_replacedKeptNames.isEmpty())
        return QString();
    const auto kept = m_replacedKeptNames.constFind(
        m_replacedIgnoresCase ? destinationName.toCaseFolded() : destinationName);
    if (kept == m_replacedKeptNames.cend() || kept->first() == name)
        return QString();
    if (number)
        *number = int(kept->indexOf(name));
    return kept->first();
}

QString DestinationNames::caseKeeper(const QString& name) const
{
    if (m_caseKeptNames.isEmpty())
        return QString();
    const auto kept = m_caseKeptNames.constFind(name.toCaseFolded());
    if (kept == m_caseKeptNames.cend() || *kept == name)
        return QString();
    return *kept;
}

QString DestinationNames::takeCollated(const QString& name, const QString& source,
                                       const QString& destinationFolder)
{
    if (m_collateIgnoresCase < 0)
        m_collateIgnoresCase =
            FileSystemUtils::destinationTraits(destinationFolder, m_mayProbe).caseInsensitive;
    const QString key = m_collateIgnoresCase ? name.toCaseFolded() : name;
    const auto first = m_collatedNames.constFind(key);
    if (first != m_collatedNames.cend())
        return *first;
    m_collatedNames.insert(key, source);
    return QString();
}

bool DestinationNames::refusedAsTwin(const CopyItem& item)
{
    // The errors file may come from a run in another language.
    const QString message = item.copy_message;
    return item.copy_state == DestinationError &&
           (message == QLatin1String(collatedText) || message == collatedTwinText() ||
            message.startsWith(QString::fromLatin1(caseText).arg(QString())) ||
            message.startsWith(QCoreApplication::translate(textContext, caseText).arg(QString())));
}

QString DestinationNames::caseTwinText(const QString& keeper)
{
    return QCoreApplication::translate(textContext, caseText).arg(keeper);
}

QString DestinationNames::collatedTwinText()
{
    return QCoreApplication::translate(textContext, collatedText);
}
