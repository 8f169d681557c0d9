#pragma once

#include "engine/digest.h"

#include <QByteArray>
#include <QString>

#include <QStringList>

#include <atomic>
#include <functional>
#include <map>
#include <memory>

namespace FileHash {
class OpenFile;
}
namespace PlatformCopy {
struct CopyRequest;
}
class PlatformReadBehind;

// A verified copy: the source's digest is made from the bytes as the copy reads them (one
// read of the source), and the finished copy, still under its temporary name, is read back
// from its device, not from the cache, and hashed the same way before it takes its name.
class CopyVerification
{
public:
    enum class Check
    {
        Equal,
        Differs,
        Unreadable
    };
    // Copies whose read-back differs are copied once more; then it is an error.
    static constexpr int maxAttempts = 2;

    explicit CopyVerification(Digest::Algorithm algorithm);
    ~CopyVerification();
    CopyVerification(const CopyVerification&) = delete;
    CopyVerification& operator=(const CopyVerification&) = delete;

    Digest::Algorithm algorithm() const { return m_digest->algorithm(); }
    // Starts a new source digest; the function takes what the copy reads
    // (PlatformCopy::CopyRequest::observeSource). It refers to this object. A source of
    // size or more than hashAsideFromSize is hashed by a thread of its own, beside the copy,
    // which only hands it the bytes.
    std::function<void(const char*, qint64)> startSource(qint64 size = 0);
    static constexpr qint64 hashAsideFromSize = 8 << 20;
    // The digest of the bytes given since startSource; empty on failure.
    QByteArray sourceDigest();

    // Sets up the native copy of a source of size bytes: its digest from what the copy reads
    // (from hashAsideFromSize on, read again from the cache right behind the copy by a thread
    // of its own, so that the copy keeps the kernel's own data paths), and the copy left under
    // its temporary name. sourceDigest then gives the digest.
    void prepare(PlatformCopy::CopyRequest* request, qint64 size);
    // The check of the finished copy at path (checkCopy, flushed first).
    // stopFlag: the copier's, which pauses and stops the read-back of a large copy.
    Check check(const QString& path, const QByteArray& expected, int attempt, const QString& root,
                const std::atomic<int>* stopFlag = nullptr) const;

    // Reads the finished copy at path back from its device and compares its digest with
    // expected. flush: its data is first forced to the device (a grouped copy's file system
    // was flushed as a whole already). attempt counts from 1, for the test hook.
    // root: the run's destination, from which a path too long to be named whole is reached
    // through its folder held open.
    static Check checkCopy(const QString& path, Digest::Algorithm algorithm,
                           const QByteArray& expected, bool flush, int attempt,
                           const QString& root = QString(),
                           const std::atomic<int>* stopFlag = nullptr);
    // Removes a copy found wrong, however long its path.
    static void removeCopy(const QString& path, const QString& root);

    // For tests only: called with the copy's path and the attempt just before each read-back,
    // so that a test can change the copy between the copy and its check. Empty: none.
    using TamperHook = std::function<void(const QString& copy, int attempt)>;
    static void setTamperHook(const TamperHook& hook);

    // The read-back of a group's copies, whose file system was flushed as a whole: the copies
    // a few places ahead are opened, their pages dropped and their reads started, so that
    // their reads reach the device together instead of one wait per file.
    class GroupReadBack
    {
    public:
        // paths: the copies in order; an empty one is not read. root: as for checkCopy.
        GroupReadBack(const QStringList& paths, Digest::Algorithm algorithm, const QString& root);
        ~GroupReadBack();
        // The first check of the copy at index; indexes must come in increasing order.
        Check check(int index, const QByteArray& expected);

    private:
        QStringList m_paths;
        Digest::Algorithm m_algorithm;
        QString m_root;
        int m_opened = 0;
        std::map<int, std::unique_ptr<FileHash::OpenFile>> m_files;
    };

    static QString verifiedNote();
    static QString copiedAgainNote();
    static QString differsError();
    static QString unreadableError();

private:
    static Check compare(FileHash::OpenFile& copy, const QString& path, Digest::Algorithm algorithm,
                         const QByteArray& expected, int attempt);
    static void tamper(const QString& path, int attempt);

    struct Aside;
    void stopAside();

    // The thread's digest of the algorithm: fetched once, not for every file.
    Digest* m_digest;
    bool m_failed = false;
    std::unique_ptr<Aside> m_aside;
    // The source read again behind a large native copy.
    std::unique_ptr<PlatformReadBehind> m_behind;
};
