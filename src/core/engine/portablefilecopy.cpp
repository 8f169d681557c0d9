#include "engine/portablefilecopy.h"

#include "fs/filesystemutils.h"
#include "fs/platform.h"
#include "fs/reachablefileinfo.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>

namespace {

const qint64 blockSize = 4096;
const int maxZeroReads = 3;

const char* const readingFailed =
    QT_TRANSLATE_NOOP("CopyFileObject", "unable to complete reading from source file");
const char* const writingFailed =
    QT_TRANSLATE_NOOP("CopyFileObject", "unable to write to destination file");

// The copier's own texts (marked where they are written, for the translation tools).
QString text(const char* source)
{
    return QCoreApplication::translate("CopyFileObject", source);
}

using FileSystemUtils::failureText;

} // namespace

PortableFileCopy::Outcome
PortableFileCopy::copyInBlocks(const QString& sourcePath, const QString& destinationPath,
                               qint64 size, qint64 step, const Progress& progress,
                               const std::function<void(const char*, qint64)>& observe)
{
    // A hole skipped is zeros to the observer.
    const auto observeZeros = [&observe](qint64 length) {
        static const char zeros[blockSize] = {};
        for (; observe && length > 0; length -= blockSize)
            observe(zeros, qMin(length, blockSize));
    };
    Outcome outcome;
    const auto sourceError = [&](const char* error, const QString& note) {
        outcome.notes << note;
        outcome.error = text(error);
        outcome.sourceFailed = true;
    };
    const auto destinationError = [&](const char* error, const QString& note) {
        outcome.notes << note;
        outcome.error = text(error);
    };
    const Platform::ReachablePath reachableSource(sourcePath);
    QFile source(reachableSource.text());
    if (!source.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        qWarning() << qUtf8Printable(sourcePath) << "is not readable";
        outcome.error = text(QT_TRANSLATE_NOOP("CopyFileObject", "unable to read source file"));
        outcome.sourceFailed = true;
        return outcome;
    }
    // Written under a hidden temporary name that takes the final one only once complete,
    // so that a crash or a kill never leaves a partial file under the final name.
    PlatformCopy::Failure failure;
    QString temporary;
    const int fd = PlatformCopy::createTemporaryFile(destinationPath, &temporary, &failure);
    QFile destination;
    if (fd < 0 || !destination.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                                    QFileDevice::AutoCloseHandle)) {
        if (fd < 0)
            outcome.notes << failureText(failure);
        else
            FileSystemUtils::removeFile(temporary);
        qWarning() << "Unable to open destination file for copy" << qUtf8Printable(destinationPath);
        outcome.error =
            text(QT_TRANSLATE_NOOP("CopyFileObject", "unable to open destination file"));
        return outcome;
    }

    PlatformCopy::FileVersion before;
    const bool versionKnown = PlatformCopy::fileVersion(source.handle(), &before);

    char buffer[blockSize];
    qint64 copied = 0;
    int zeroReads = 0;
    // Of a source with holes only the stretches of data are read and written: the holes
    // between them are skipped and stay holes in the copy, which gets its full size at the
    // end. dataEnd is where the stretch being copied ends.
    const bool sparse = PlatformCopy::mayHaveHoles(source.handle());
    qint64 dataEnd = sparse ? 0 : size;
    qint64 nextMark = step;
    while (size != 0 && outcome.error.isEmpty()) {
        if (copied >= dataEnd) {
            qint64 start = size;
            qint64 end = size;
            const PlatformCopy::DataSearch found =
                PlatformCopy::findData(source.handle(), copied, &start, &end, &failure);
            if (found == PlatformCopy::DataSearch::Failed) {
                sourceError(readingFailed, failureText(failure));
                break;
            }
            if (found == PlatformCopy::DataSearch::Unsupported) {
                start = copied;
                end = size;
            }
            // The search moved the source's position: both files go to the data.
            start = qMin(start, size);
            dataEnd = end;
            if (!source.seek(start)) {
                sourceError(readingFailed, source.errorString());
                break;
            }
            if (!destination.seek(start)) {
                destinationError(writingFailed, destination.errorString());
                break;
            }
            observeZeros(start - copied);
            copied = start;
            if (copied == size)
                break; // a hole up to the end
        }
        const qint64 got = source.read(buffer, blockSize);
        if (got < 0) {
            sourceError(readingFailed, source.errorString());
            break;
        }
        if (got == 0) {
            // The source shrank since its size was read.
            if (copied == size || ++zeroReads >= maxZeroReads)
                break;
            continue;
        }
        if (observe)
            observe(buffer, got);
        // A short write is retried: the call that fails then tells why.
        qint64 written = 0;
        while (written < got) {
            const qint64 put = destination.write(buffer + written, got - written);
            if (put <= 0)
                break;
            written += put;
        }
        if (written < got) {
            qWarning() << "Unable to write data in destination file"
                       << qUtf8Printable(destinationPath);
            destinationError(writingFailed, destination.errorString());
            break;
        }
        copied += got;
        if (copied >= nextMark) {
            nextMark = (copied / step + 1) * step;
            if (!progress(copied))
                break;
        }
        if (copied == size)
            break;
    }
    if (sparse && copied == size && outcome.error.isEmpty() && !destination.resize(size))
        destinationError(writingFailed, destination.errorString());
    // The loop ends at the size read before the copy, or past it: a source that grew, or
    // was written to meanwhile, would leave a copy of no version it ever had. (One that
    // shrank ends short of the size, as an incomplete copy.)
    PlatformCopy::FileVersion after;
    outcome.sourceChanged = copied >= size && versionKnown &&
                            PlatformCopy::fileVersion(source.handle(), &after) &&
                            (!after.sameData(before) || after.size != size);
    source.close();
    destination.close();

    if (copied == size && !outcome.sourceChanged && outcome.error.isEmpty()) {
        // On disk before it takes the final name, as the native copy does.
        if (PlatformCopy::flushToDisk(temporary, &failure)) {
            if (versionKnown)
                outcome.sourceVersion = before;
            outcome.temporaryPath = temporary;
            return outcome;
        }
        outcome.notes << failureText(failure);
    }
    if (!outcome.sourceChanged && outcome.error.isEmpty())
        outcome.error = text(QT_TRANSLATE_NOOP("CopyFileObject", "unable to complete the copy"));
    FileSystemUtils::removeFile(temporary);
    return outcome;
}

PortableFileCopy::Outcome PortableFileCopy::copyWithQt(const QString& source,
                                                       const QString& destination, qint64 size,
                                                       bool removeReadOnly)
{
    Outcome outcome;
    const auto failed = [&](const QString& temporary, const QString& note) {
        if (!note.isEmpty())
            outcome.notes << note;
        outcome.error = text(QT_TRANSLATE_NOOP("CopyFileObject", "unable to copy file"));
        if (!temporary.isEmpty())
            FileSystemUtils::removeFile(temporary);
        return outcome;
    };
    // Qt refuses an existing target: a free temporary name is reserved (created, closed and
    // removed again) for it.
    PlatformCopy::Failure failure;
    QString temporary;
    const int fd = PlatformCopy::createTemporaryFile(destination, &temporary, &failure);
    if (fd < 0)
        return failed(QString(), failureText(failure));
    Platform::closeFile(fd);
    FileSystemUtils::removeFile(temporary);

    PlatformCopy::FileVersion before;
    PlatformCopy::FileVersion after;
    const bool known = PlatformCopy::fileVersion(source, &before);
    QString reason;
    if (!FileSystemUtils::copyFileWithQt(source, temporary, removeReadOnly, &reason))
        return failed(temporary, reason);
    // QFile::copy cannot skip holes: it reads and writes every byte, the zeros of a source's
    // holes too. They are punched out of the copy again here, before the source is checked
    // for changes and the copy flushed: the copy of a sparse file takes as little room as its
    // source, but it costs the time of a full copy and needs room for the full size for that
    // moment.
    if (!PlatformCopy::punchHolesLike(source, temporary, &failure))
        return failed(temporary, failureText(failure));
    if (known && PlatformCopy::fileVersion(source, &after) &&
        (after != before || before.size != size)) {
        outcome.sourceChanged = true;
        FileSystemUtils::removeFile(temporary);
        return outcome;
    }
    if (!PlatformCopy::flushToDisk(temporary, &failure))
        return failed(temporary, failureText(failure));
    if (known)
        outcome.sourceVersion = before;
    outcome.temporaryPath = temporary;
    return outcome;
}
