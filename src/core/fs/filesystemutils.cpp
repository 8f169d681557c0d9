#include "fs/filesystemutils.h"

#include "fs/platformcopy.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

#include <cerrno>

namespace FileSystemUtils {

namespace {

const int maxUniqueNameNumber = 999;
// With no size to test, a volume with fewer free bytes than this counts as full.
const qint64 minimumFreeBytes = 64000;
// Where either file system keeps coarse times.
const qint64 coarseToleranceNs = 2000000000;
const qint64 nanosecondsPerSecond = 1000000000;

QString lastPlatformErrorText()
{
    return lastErrorText(Platform::lastFailedCall());
}

} // namespace

QString longPath(const QString& path)
{
    const QString twoBackslashes = QStringLiteral("\\\\");
    if (path.startsWith(twoBackslashes))
        return QStringLiteral("\\\\?\\UNC") + path.mid(1);
    return QStringLiteral("\\\\?\\") + path;
}

QString uncPrefix()
{
    return QString(2, QDir::separator());
}

bool isSameEntry(const QString& a, const QString& b)
{
    Platform::EntryIdentity first;
    Platform::EntryIdentity second;
    return Platform::entryIdentity(a, &first) && Platform::entryIdentity(b, &second) &&
           first == second;
}

bool isWithinFolder(const QString& path, const QString& folder)
{
    Platform::EntryIdentity folderIdentity;
    if (!Platform::entryIdentity(folder, &folderIdentity))
        return false;
    // The part of path that exists, resolved by the system: symbolic links in the middle of
    // path lead elsewhere than its text says.
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            return false;
        existing = parent;
    }
    QString resolved = QFileInfo(existing).canonicalFilePath();
    if (resolved.isEmpty())
        resolved = existing;
    for (;;) {
        Platform::EntryIdentity identity;
        if (Platform::entryIdentity(resolved, &identity) && identity == folderIdentity)
            return true;
        const QString parent = QFileInfo(resolved).path();
        if (parent == resolved)
            return false;
        resolved = parent;
    }
}

QString missingFolderAbove(const QString& destination)
{
    QString missing;
    QString folder = QFileInfo(QDir::cleanPath(destination)).absolutePath();
    while (!QFileInfo(folder).isDir()) {
        missing = folder;
        const QString parent = QFileInfo(folder).path();
        if (parent == folder)
            break;
        folder = parent;
    }
    return QDir::toNativeSeparators(missing);
}

bool fileExists(const QString& path)
{
    return Platform::entryExists(path);
}

int fileAttributes(const QString& path)
{
    const int attributes = Platform::fileAttributes(path);
    if (attributes == InvalidAttributes) {
        lastPlatformErrorText();
        qWarning() << "Unable to get attributes of file" << qUtf8Printable(path);
    }
    return attributes;
}

bool isReadOnly(const QString& path)
{
    const int attributes = fileAttributes(path);
    return attributes != InvalidAttributes && (attributes & ReadOnlyAttribute);
}

bool setReadOnly(const QString& path, bool readOnly)
{
    const int attributes = fileAttributes(path);
    if (attributes == InvalidAttributes)
        return false;
    if (bool(attributes & ReadOnlyAttribute) == readOnly)
        return true;
    const int wanted =
        readOnly ? (attributes | ReadOnlyAttribute) : (attributes & ~ReadOnlyAttribute);
    if (!Platform::setFileAttributes(path, wanted)) {
        lastPlatformErrorText();
        qWarning() << "Unable to set READ ONLY attribute in file" << qUtf8Printable(path)
                   << "with value =" << readOnly << ")";
        return false;
    }
    return true;
}

QString lastErrorText(const QString& functionName)
{
    // Read first: anything done on the way could overwrite the recorded failure.
    const int code = Platform::lastErrorCode();
    QString text = QStringLiteral("%1 %2").arg(functionName).arg(static_cast<uint>(code));
    const QString message = Platform::errorMessage(code).trimmed();
    if (!message.isEmpty())
        text += QStringLiteral(": %1").arg(message);
    qWarning().noquote() << text;
    return text;
}

QString plainErrorText(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^[a-z_0-9]+ (\\d+)(: .*)?$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return text;
    const auto tr = [](const char* words) {
        return QCoreApplication::translate("FileSystemUtils", words);
    };
    switch (match.captured(1).toInt()) {
    case EACCES:
    case EPERM:
        return tr("No permission.");
    case ENOENT:
        return tr("It is not there (any more).");
    case ENOSPC:
        return tr("The disk is full.");
    case EDQUOT:
        return tr("The disk space allowed to this user is used up.");
    case EROFS:
        return tr("The disk can only be read.");
    case EIO:
        return tr("The device failed to read or write.");
    case ENAMETOOLONG:
        return tr("The name is too long for this disk.");
    case EEXIST:
        return tr("Something of that name is already there.");
    case ENOTDIR:
        return tr("A part of the path is not a folder.");
    case EISDIR:
        return tr("It is a folder.");
    case ELOOP:
        return tr("A link stands where none may be.");
    case EBUSY:
    case ETXTBSY:
        return tr("It is in use.");
    case EFBIG:
        return tr("The file is too large for this disk.");
    case EINVAL:
        return tr("The disk does not accept this name or action.");
    case ENOTCONN:
    case ESTALE:
    case ENODEV:
    case ENXIO:
    case ETIMEDOUT:
    case EHOSTDOWN:
        return tr("The drive cannot be reached.");
    case EMFILE:
    case ENFILE:
        return tr("Too many files are open.");
    case ENOMEM:
        return tr("Not enough memory.");
    default:
        return text;
    }
}

bool readToEnd(const QString& path, qint64 maxBytes, QByteArray* data)
{
    const Platform::ReachablePath reachable(path);
    QFile in(reachable.text());
    data->clear();
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    char block[65536];
    qint64 read = 0;
    while (data->size() <= maxBytes && (read = in.read(block, sizeof block)) > 0)
        data->append(block, int(read));
    return read >= 0 && data->size() <= maxBytes;
}

QString failureText(const PlatformCopy::Failure& failure)
{
    Platform::recordFailure(failure.call, failure.code);
    return lastErrorText(QString::fromLatin1(failure.call));
}

bool removeFile(const QString& path)
{
    if (!fileExists(path))
        return true;
    if (isReadOnly(path))
        setReadOnly(path, false);
    if (Platform::removeFile(path))
        return true;
    const Platform::ReachablePath reachable(path);
    const QFile::Permissions permissions = QFile::permissions(reachable.text());
    if (permissions & QFileDevice::WriteUser)
        return false;
    QFile::setPermissions(reachable.text(), permissions | QFileDevice::WriteUser);
    return Platform::removeFile(path);
}

bool syncProperties(const QString& from, const QString& to, bool removeReadOnly)
{
    Platform::FileTimes times;
    if (!Platform::readFileTimes(from, &times)) {
        lastPlatformErrorText();
        qWarning() << "Sync properties: unable to get dates from file" << qUtf8Printable(from);
        return false;
    }

    int toAttributes = fileAttributes(to);
    if (toAttributes == InvalidAttributes)
        return false;
    // Cleared first: some platforms refuse new times on a read-only file.
    if (toAttributes & ReadOnlyAttribute) {
        toAttributes &= ~ReadOnlyAttribute;
        if (!Platform::setFileAttributes(to, toAttributes)) {
            lastPlatformErrorText();
            qWarning() << "Sync properties: unable to remove READ ONLY attribute from file"
                       << qUtf8Printable(to);
            return false;
        }
    }

    if (!Platform::writeFileTimes(to, times)) {
        lastPlatformErrorText();
        qWarning() << "Sync properties: unable to sync dates to file" << qUtf8Printable(to);
        return false;
    }

    int fromAttributes = fileAttributes(from);
    if (fromAttributes == InvalidAttributes)
        return false;
    if (removeReadOnly)
        fromAttributes &= ~ReadOnlyAttribute;
    if (fromAttributes != toAttributes && !Platform::setFileAttributes(to, fromAttributes)) {
        lastPlatformErrorText();
        qWarning() << "Sync properties: unable to sync attributes to file" << qUtf8Printable(to);
        return false;
    }
    return true;
}

bool syncFile(const QString& from, const QString& to, bool removeReadOnly)
{
    return syncProperties(from, to, removeReadOnly);
}

bool copyFileWithQt(const QString& from, const QString& to, bool removeReadOnly, QString* errorText)
{
    const Platform::ReachablePath reachableFrom(from);
    const Platform::ReachablePath reachableTo(to);
    QFile file(reachableFrom.text());
    if (!file.copy(reachableTo.text())) {
        if (errorText)
            *errorText = file.errorString();
        return false;
    }
    syncFile(from, to, removeReadOnly);
    return true;
}

bool linkTargetsDiffer(const QFileInfo& source, const QFileInfo& destination,
                       const QString& knownTarget)
{
    // The texts as stored: "a.txt" and "/copy/a.txt" are different links, even where both
    // lead to the same file today.
    QString destinationTarget;
    if (!Platform::symbolicLinkText(destination.filePath(), &destinationTarget))
        return true; // not a link, or gone
    destinationTarget = QDir::toNativeSeparators(destinationTarget);
    if (destinationTarget == knownTarget)
        return false;
    QString sourceTarget;
    return !Platform::symbolicLinkText(source.filePath(), &sourceTarget) ||
           QDir::toNativeSeparators(sourceTarget) != destinationTarget;
}

bool createdDatesDiffer(const QFileInfo& a, const QFileInfo& b)
{
    const QDateTime createdA = Platform::creationTime(a.filePath());
    const QDateTime createdB = Platform::creationTime(b.filePath());
    if (!createdA.isValid() || !createdB.isValid())
        return false;
    return createdA.date() != createdB.date();
}

namespace {

// The precision a time shows: the largest power of ten, up to a second, that divides its
// nanoseconds.
qint64 shownPrecisionNs(const Platform::FileTime& time)
{
    qint64 precision = 1;
    while (precision < nanosecondsPerSecond && time.nanoseconds % (precision * 10) == 0)
        precision *= 10;
    return precision;
}

} // namespace

qint64 timeToleranceNs(const Platform::FileSystemTraits& traitsA,
                       const Platform::FileSystemTraits& traitsB, const Platform::FileTime& a,
                       const Platform::FileTime& b)
{
    if (traitsA.coarseTimes() || traitsB.coarseTimes())
        return coarseToleranceNs;
    return qMax(qMax(traitsA.timeStepNs, traitsB.timeStepNs),
                qMax(shownPrecisionNs(a), shownPrecisionNs(b)));
}

int modificationOrder(const Platform::FileTime& a, const Platform::FileTime& b, qint64 toleranceNs)
{
    const qint64 seconds = b.seconds - a.seconds;
    // Far apart in seconds: the nanoseconds would not change the answer, and could overflow.
    if (seconds > 1000000 || seconds < -1000000)
        return seconds > 0 ? 1 : -1;
    const qint64 apart = seconds * nanosecondsPerSecond + (b.nanoseconds - a.nanoseconds);
    if (apart >= toleranceNs)
        return 1;
    if (apart <= -toleranceNs)
        return -1;
    return 0;
}

// Reads the times directly: QFileInfo::lastModified would convert them to local time and
// back, reading the zone file several times and serialising every thread on the zone lock.
int modificationOrder(const QFileInfo& a, const QFileInfo& b)
{
    Platform::FileTime timeA;
    Platform::FileTime timeB;
    quint64 deviceA = 0;
    quint64 deviceB = 0;
    if (!Platform::modificationTime(a.filePath(), &timeA, &deviceA) ||
        !Platform::modificationTime(b.filePath(), &timeB, &deviceB))
        return 0;
    const qint64 tolerance =
        timeToleranceNs(Platform::fileSystemTraits(deviceA, a.filePath()),
                        Platform::fileSystemTraits(deviceB, b.filePath()), timeA, timeB);
    return modificationOrder(timeA, timeB, tolerance);
}

int modificationOrder(const Platform::EntryStatus& a, const QString& pathA,
                      const Platform::EntryStatus& b, const QString& pathB)
{
    const qint64 tolerance =
        timeToleranceNs(Platform::fileSystemTraits(a.device, pathA),
                        Platform::fileSystemTraits(b.device, pathB), a.lastWrite, b.lastWrite);
    return modificationOrder(a.lastWrite, b.lastWrite, tolerance);
}

bool isNewer(const QFileInfo& a, const QFileInfo& b)
{
    return modificationOrder(a, b) > 0;
}

bool isOlder(const QFileInfo& a, const QFileInfo& b)
{
    return modificationOrder(a, b) < 0;
}

bool filesDiffer(const QFileInfo& a, const QFileInfo& b)
{
    return a.size() != b.size() || modificationOrder(a, b) != 0 || createdDatesDiffer(a, b);
}

Platform::FileSystemTraits destinationTraits(const QString& folder, bool probe)
{
    QString existing = folder;
    Platform::EntryIdentity identity;
    while (!Platform::entryIdentity(existing, &identity)) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            return Platform::FileSystemTraits();
        existing = parent;
    }
    return probe ? PlatformCopy::probeFileSystem(existing)
                 : Platform::fileSystemTraits(identity.device, existing);
}

bool existsUnderOtherName(const QString& path, QString* storedName)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    const int fd = Platform::openFolder(info.path());
    std::vector<Platform::FolderEntry> entries;
    const bool listed = fd >= 0 && Platform::readFolder(fd, &entries);
    Platform::closeFolder(fd);
    if (!listed)
        return false;
    const QString folded = name.toCaseFolded();
    QString other;
    for (const Platform::FolderEntry& entry : entries) {
        const QString entryName = QFile::decodeName(entry.name);
        if (entryName == name)
            return false;
        if (other.isEmpty() && entryName.toCaseFolded() == folded)
            other = entryName;
    }
    if (other.isEmpty())
        return false;
    if (storedName)
        *storedName = other;
    return true;
}

QString numberedFileName(const QString& path, int number)
{
    const QFileInfo info(path);
    const QString baseName = info.completeBaseName();
    const QString suffix = info.suffix();
    const QString dot = suffix.isEmpty() ? QString() : QStringLiteral(".");
    const QString name =
        baseName.isEmpty()
            ? QStringLiteral("%1%2(%3)").arg(dot, suffix).arg(number)
            : QStringLiteral("%1 (%2)%3%4").arg(baseName).arg(number).arg(dot, suffix);
    return QDir(info.absolutePath()).absoluteFilePath(name);
}

QString uniqueFileName(const QString& path, int* number)
{
    QString candidate = path;
    int i = 0;
    while (fileExists(candidate)) {
        ++i;
        candidate = numberedFileName(path, i);
        if (i > maxUniqueNameNumber) {
            qWarning() << "Unable to find a unique file name from path" << qUtf8Printable(path);
            if (number)
                *number = 0;
            return path;
        }
    }
    if (number)
        *number = i;
    return QDir::toNativeSeparators(QFileInfo(candidate).absoluteFilePath());
}

qint64 availableBytes(const QString& path)
{
    return Platform::availableBytes(path);
}

bool isStorageFull(const QString& path, qint64 neededBytes, bool* ok)
{
    const qint64 available = availableBytes(path);
    if (ok)
        *ok = available >= 0;
    if (available < 0) {
        qWarning() << "Unable to check if the target storage is full:" << qUtf8Printable(path);
        return false;
    }
    return isStorageTooLow(available, neededBytes);
}

bool isStorageTooLow(qint64 availableBytes, qint64 neededBytes)
{
    if (neededBytes <= 0)
        return availableBytes < minimumFreeBytes;
    return availableBytes <= neededBytes;
}

bool showInExplorer(const QString& path)
{
    const QFileInfo info(path);
    QString request;
    if (Platform::showInFileManager(info.absoluteFilePath(), info.isDir(), &request))
        return true;
    qWarning() << "Unable to start process:" << qUtf8Printable(request);
    return false;
}

bool writeLinesToFile(const QStringList& lines, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream stream(&file);
    for (const QString& line : lines)
        stream << line << '\n';
    stream.flush();
    // A full or failing device must not pass for a saved file.
    return stream.status() == QTextStream::Ok && file.flush() &&
           file.error() == QFileDevice::NoError;
}

} // namespace FileSystemUtils
