#include "engine/manifestwriter.h"

#include "engine/manifest.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString text(const char* source)
{
    return QCoreApplication::translate("ManifestWriter", source);
}

} // namespace

ManifestWriter::ManifestWriter(const QString& path, const QString& destinationRoot,
                               Digest::Algorithm algorithm)
    : m_path(path), m_root(destinationRoot), m_algorithm(algorithm)
{
}

ManifestWriter::~ManifestWriter()
{
    discard();
}

bool ManifestWriter::open(QString* error)
{
    m_file.reset(new QSaveFile(m_path));
    // Never written in place: a list half written must not look whole.
    m_file->setDirectWriteFallback(false);
    if (m_file->open(QIODevice::WriteOnly))
        return true;
    *error = text(QT_TRANSLATE_NOOP("ManifestWriter", "unable to write the checksum list %1: %2"))
                 .arg(m_path, m_file->errorString());
    m_file.reset();
    return false;
}

void ManifestWriter::add(const QString& destinationPath, const QByteArray& digest)
{
    if (!m_file || m_failed)
        return;
    // A single file copied is listed by its name; the files of a folder by their path in it.
    const QFileInfo root(m_root);
    QString relative = root.isDir() ? QDir(m_root).relativeFilePath(destinationPath)
                                    : QFileInfo(destinationPath).fileName();
    if (relative.startsWith(QLatin1String("../")) || QDir::isAbsolutePath(relative))
        relative = QFileInfo(destinationPath).fileName();
    Manifest::Entry entry;
    entry.algorithm = m_algorithm;
    entry.digest = digest;
    entry.path = QFile::encodeName(relative);
    const QByteArray line = Manifest::formatLine(entry);
    if (m_file->write(line) != line.size()) {
        qWarning() << "Unable to write the checksum list" << qUtf8Printable(m_path);
        m_failed = true;
        return;
    }
    ++m_lines;
}

bool ManifestWriter::commit(QString* error)
{
    if (!m_file) {
        *error = text(QT_TRANSLATE_NOOP("ManifestWriter", "the checksum list %1 is not open"))
                     .arg(m_path);
        return false;
    }
    if (m_unknown > 0) {
        *error = text(QT_TRANSLATE_NOOP("ManifestWriter",
                                        "the checksum list %1 is not written: %2 files were "
                                        "verified before the run was resumed"))
                     .arg(m_path)
                     .arg(m_unknown);
        discard();
        return false;
    }
    if (m_failed || !m_file->commit()) {
        *error =
            text(QT_TRANSLATE_NOOP("ManifestWriter", "unable to write the checksum list %1: %2"))
                .arg(m_path, m_file->errorString());
        discard();
        return false;
    }
    m_file.reset();
    return true;
}

void ManifestWriter::discard()
{
    if (!m_file)
        return;
    m_file->cancelWriting();
    m_file->commit(); // removes the temporary file once cancelled
    m_file.reset();
}
