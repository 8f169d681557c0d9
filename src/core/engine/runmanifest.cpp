#include "engine/runmanifest.h"

#include "engine/manifestwriter.h"
#include "fs/platform.h"

#include <QCoreApplication>
#include <QDebug>

RunManifest::RunManifest() = default;
RunManifest::~RunManifest() = default;

QString RunManifest::open(const Task& task, int hashAlgorithm)
{
    mp_writer.reset();
    m_failure.clear();
    const CopyOptions& options = task.m_options;
    if (m_path.isEmpty() || (options.m_copyMode != CopyOptions::Verify && !options.m_verifyCopies))
        return QString();
    auto writer = std::make_shared<ManifestWriter>(m_path, task.m_destinationPath,
                                                   Digest::Algorithm(hashAlgorithm));
    if (!writer->open(&m_failure)) {
        qWarning() << qUtf8Printable(m_failure);
        return m_failure;
    }
    mp_writer = writer;
    return QString();
}

void RunManifest::list(const CopyItem& item)
{
    if (!mp_writer || item.is_folder || !item.link_target.isEmpty())
        return;
    Platform::EntryStatus status;
    if (item.digest.isEmpty() && Platform::entryStatus(item.destination_path, &status) &&
        status.isSpecial)
        return; // a FIFO or device node has no bytes to list
    if (item.digest.isEmpty())
        mp_writer->addUnknown();
    else
        mp_writer->add(item.destination_path, item.digest);
}

QString RunManifest::close(bool completed)
{
    if (!mp_writer)
        return QString();
    if (!completed) {
        // Stopped: the list would look whole without the files not reached.
        mp_writer->discard();
        m_failure = QCoreApplication::translate(
                        "CopyTask", "The checksum list %1 is not written: the run was stopped")
                        .arg(m_path);
    } else if (mp_writer->commit(&m_failure)) {
        qDebug() << "Checksum list written:" << qUtf8Printable(m_path) << mp_writer->lineCount()
                 << "files";
    }
    mp_writer.reset();
    if (!m_failure.isEmpty())
        qWarning() << qUtf8Printable(m_failure);
    return m_failure;
}
