#pragma once

#include "engine/digest.h"

#include <QSaveFile>
#include <QString>

#include <memory>

// Writes the checksum list of a run (Manifest's format: sha256sum, b2sum or xxhsum -H2 read
// it), one line per file as each is verified, paths relative to the destination. The lines
// go to a temporary name in the list's folder, which takes the list's name only in commit:
// a stopped or failed run never leaves a list that looks whole.
class ManifestWriter
{
public:
    ManifestWriter(const QString& path, const QString& destinationRoot,
                   Digest::Algorithm algorithm);
    ~ManifestWriter();

    // False, with error set, when the temporary file cannot be made.
    bool open(QString* error);
    // One verified file; its digest in the list's algorithm.
    void add(const QString& destinationPath, const QByteArray& digest);
    // A file verified without a known digest (one of an earlier part of a resumed run): the
    // list could not be whole, and commit refuses.
    void addUnknown() { ++m_unknown; }
    // Renames the complete list into place; false, with error set, otherwise.
    bool commit(QString* error);
    // Drops the temporary file.
    void discard();

    int lineCount() const { return m_lines; }

private:
    QString m_path;
    QString m_root;
    Digest::Algorithm m_algorithm;
    std::unique_ptr<QSaveFile> m_file;
    int m_lines = 0;
    int m_unknown = 0;
    bool m_failed = false;
};
