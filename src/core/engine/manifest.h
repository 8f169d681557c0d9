#pragma once

#include "engine/digest.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <atomic>

// A checksum list ("manifest") in the formats of sha256sum, b2sum and xxhsum -H2: one line
// per file, the digest in hexadecimal, two spaces and the path. A path that holds a newline
// (or, but for xxhsum, a backslash) is written as those tools write it: the line starts with
// a backslash, and the path's backslashes, newlines and carriage returns are escaped.
namespace Manifest {

struct Entry
{
    Digest::Algorithm algorithm = Digest::Algorithm::Sha256;
    QByteArray digest; // raw bytes
    QByteArray path;   // as the file system names it
};

// The entry's line, ending with a newline.
QByteArray formatLine(const Entry& entry);
// A line of any of those tools, plain or tagged ("SHA256 (path) = ..."), escaped or not, with
// or without the binary marker '*'; the algorithm follows from the tag or the digest's
// length. False for a malformed line.
bool parseLine(QByteArray line, Entry* entry);

} // namespace Manifest

// Checks a folder against a manifest, as sha256sum -c does, and also names the files of the
// folder that the manifest does not list.
class ManifestCheck
{
public:
    enum class Outcome
    {
        Equal,
        Missing,
        Differs,
        Unreadable,
        NotListed,
        Malformed // a line of the manifest; path holds its number
    };

    struct Result
    {
        QString path; // relative to the folder as the manifest lists it
        Outcome outcome = Outcome::Equal;
        QString detail;
    };

    // Shared with another thread, which may stop a check and show how far it got.
    struct Progress
    {
        std::atomic_bool cancel{false};
        std::atomic_int checked{0}; // files of the manifest
    };

    // Reads the manifest; false, with error set, when it cannot be read or lists nothing.
    bool load(const QString& manifestPath, QString* error);
    // The files the manifest lists.
    int size() const { return m_entries.size(); }
    // Each listed file, then each unlisted one, hashed from its device when fromDevice.
    // A check cancelled through progress returns what it found so far.
    QList<Result> check(const QString& folder, bool fromDevice, Progress* progress = nullptr) const;
    static QString outcomeName(Outcome outcome);
    // How many results there are of each outcome found.
    static QMap<Outcome, int> counts(const QList<Result>& results);

private:
    QString m_manifestPath;
    QList<Manifest::Entry> m_entries;
    QList<int> m_malformedLines;
};
