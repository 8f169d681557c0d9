#include "app/appsettings.h"
#include "engine/copyfileobject.h"
#include "engine/copyfolderobject.h"
#include "engine/filehash.h"
#include "testsupport.h"

#include <QScopeGuard>
#include <QtTest>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using O = CopyOptions;
const QDateTime sourceTime(QDate(2020, 5, 5), QTime(12, 0, 0), Qt::UTC);
const QByteArray sourceData("source data 123");
const QString olderText("file with older modification date exists");
const QString newerText("file with newer modification date exists");
const QString sizeText("file with different size exists");
const QString removedText("existing file is removed");
const QString linkText("symbolic link target is different");
const QString movedText("File moved");
const char* const methodNames[] = {"default", "native", "qt", "simple"};

// One file copy: what exists before, how it is copied, and what must come out.
struct Case
{
    int method = CopyFileObject::DefaultMethod;
    int copyMode = O::Copy;
    int overwriteMode = O::NoOverwrite;
    // Destination beforehand, against a source modified at T: "" none, "older" (T-10 s),
    // "newer" (T+10 s), "look-alike" (same size and time, other bytes), "size" (other size at T),
    // "identical", "folder" (a folder in the way), "blocked" (a file where its folder should be),
    // "unwritable" (folder closed to user nobody), "full" (a full file system).
    QString existing;
    // Source: "file", "read-only", "unreadable" (to user nobody), "fifo" or "device".
    QString source = "file";
    QString name = "file.txt";
    QStringList alsoExisting; // further files in the destination folder
    int previousState = Unprocessed;
    bool skipErrorsInSync = false;
    bool removeReadOnly = false;
    int state = Copied;
    QString message;
    QStringList info; // an entry with '*' is a wildcard, one starting with '^' a regular expression
    // "copied" (destination = source), "kept" (destination untouched), "renamed" (copy
    // beside the kept destination, named renamedTo) or "none" (no destination at all).
    QString outcome = "copied";
    QString renamedTo = "file (1).txt";
    int expectedMode = 0640;
    bool sourceRemoved = false;
};

void setModified(const QString& path, const QDateTime& time)
{
    const timespec stamp{time_t(time.toSecsSinceEpoch()), 0};
    const timespec times[2] = {stamp, stamp};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
}

using TestSupport::modeOf;
using TestSupport::setMode;

QString linkTextOf(const QString& path)
{
    char buffer[4096];
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return length < 0 ? QString() : QFile::decodeName(QByteArray(buffer, int(length)));
}

using TestSupport::entriesOf;

bool writeFile(const QString& path, const QByteArray& data, const QDateTime& time, int mode)
{
    if (!TestSupport::writeFile(path, data) || !setMode(path, mode))
        return false;
    setModified(path, time);
    return true;
}

bool infoMatches(const QStringList& actual, const QStringList& expected)
{
    if (actual.size() != expected.size())
        return false;
    for (int i = 0; i < actual.size(); ++i) {
        // A wildcard's '*' stops at '/'; an entry starting with '^' is a regular expression.
        const QRegularExpression pattern(
            expected.at(i).startsWith('^')
                ? expected.at(i)
                : QRegularExpression::wildcardToRegularExpression(expected.at(i)));
        if (actual.at(i) != expected.at(i) && !pattern.match(actual.at(i)).hasMatch())
            return false;
    }
    return true;
}

// Runs the copier for the item on the calling thread, as the copy job does.
CopyItem runCopier(const CopyItem& input, const CopyOptions& options, int* completions,
                   const RunSettings& settings = RunSettings())
{
    std::unique_ptr<CopyObject> copier;
    if (input.is_folder) {
        copier.reset(new CopyFolderObject);
    } else {
        auto* fileCopier = new CopyFileObject;
        fileCopier->m_options = options;
        fileCopier->m_settings = settings;
        copier.reset(fileCopier);
    }
    static_cast<CopyItem&>(*copier) = input;
    QSignalSpy completed(copier.get(), &CopyObject::copyCompleted);
    copier->startCopy();
    *completions = completed.count();
    return *copier;
}

// The same in a child process running as user nobody; false when that is impossible.
bool runCopierAsNobody(const CopyItem& input, const CopyOptions& options, CopyItem* result,
                       int* completions, const RunSettings& settings = RunSettings())
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return false;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        const uid_t nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0 ||
            ::setresuid(nobody, nobody, nobody) != 0)
            ::_exit(2);
        const QByteArray data =
            runCopier(input, options, completions, settings).toDataString().toUtf8();
        const ssize_t written = ::write(pipeFds[1], data.constData(), size_t(data.size()));
        ::_exit(written == ssize_t(data.size()) && *completions == 1 ? 0 : 3);
    }
    ::close(pipeFds[1]);
    QByteArray data;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        data.append(buffer, int(got));
    ::close(pipeFds[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return false;
    *completions = 1;
    return result->fromDataString(QString::fromUtf8(data));
}

qint64 allocatedBytes(const QString& path)
{
    struct stat status = {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return qint64(status.st_blocks) * 512;
}

} // namespace

Q_DECLARE_METATYPE(Case)

class TestCopyFileObject : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void copiesFiles_data();
    void copiesFiles();
    void kernelFileReadToItsEnd_data();
    void kernelFileReadToItsEnd();
    void moveKeepsItsOnlyCopy_data();
    void moveKeepsItsOnlyCopy();
    void writesNothingOnceTheDriveIsGone_data();
    void writesNothingOnceTheDriveIsGone();
    void copiesSymbolicLinks_data();
    void copiesSymbolicLinks();
    void copiesFolders_data();
    void copiesFolders();
    void sourceChanges_data();
    void sourceChanges();
    void neverCopiesOntoItself_data();
    void neverCopiesOntoItself();
    void keepsMetadata_data();
    void keepsMetadata();
    void keepsHoles_data();
    void keepsHoles();
    void createsFoldersBelowTheRootWithoutLinks_data();
    void createsFoldersBelowTheRootWithoutLinks();
};

void TestCopyFileObject::initTestCase()
{
    TestSupport::initTestEnvironment();
    AppSettings::instance();
}

void TestCopyFileObject::copiesFiles_data()
{
    QTest::addColumn<Case>("c");
    const auto row = [](const QString& tag, const Case& c) { QTest::newRow(qPrintable(tag)) << c; };
    const auto kept = [](int state, const QString& message, const QStringList& info = {}) {
        Case c;
        c.state = state;
        c.message = message;
        c.info = info;
        c.outcome = "kept";
        return c;
    };
    const auto replaced = [](const QStringList& info) {
        Case c;
        c.info = info;
        return c;
    };
    Case renamed;
    renamed.info = QStringList{"Auto renamed (1)"};
    renamed.outcome = "renamed";
    const QString none;

    // Every overwrite mode against every kind of existing destination, by every method.
    struct Rule
    {
        const char* name;
        int mode;
        QList<QPair<const char*, Case>> outcomes;
    };
    const QList<Rule> rules{
        {"NoOverwrite",
         O::NoOverwrite,
         {{"older", kept(Skipped, none, {olderText})},
          {"newer", kept(Skipped, none, {newerText})},
          {"look-alike", kept(Skipped, none)},
          {"size", kept(Skipped, none, {sizeText})},
          {"identical", kept(Skipped, none)}}},
        {"OverwriteOlder",
         O::OverwriteOlder,
         {{"older", replaced({olderText, removedText})},
          {"newer", kept(Skipped, none, {newerText})},
          {"look-alike", kept(Skipped, none)},
          // The same date and another size: replaced, as "rsync --update" does.
          {"size", replaced({sizeText, removedText})},
          {"identical", kept(Skipped, none)}}},
        {"OverwriteAlways",
         O::OverwriteAlways,
         {{"older", replaced({olderText, removedText})},
          {"newer", replaced({newerText, removedText})},
          {"look-alike", replaced({removedText})},
          {"size", replaced({sizeText, removedText})},
          {"identical", replaced({removedText})}}},
        {"AutoRename",
         O::AutoRename,
         {{"older", renamed},
          {"newer", renamed},
          {"look-alike", renamed},
          {"size", renamed},
          {"identical", renamed}}},
        {"OverwriteDifferent",
         O::OverwriteDifferent,
         {{"older", replaced({olderText, removedText})},
          {"newer", replaced({newerText, removedText})},
          {"look-alike", kept(Skipped, none)},
          {"size", replaced({sizeText, removedText})},
          {"identical", kept(Skipped, none)}}},
        {"OverwriteContent",
         O::OverwriteContent,
         {{"older", replaced({olderText, removedText})},
          {"newer", replaced({newerText, removedText})},
          {"look-alike", replaced({removedText})},
          {"size", replaced({sizeText, removedText})},
          {"identical", kept(Skipped, none, {"file with the same content exists"})}}},
    };
    for (int method = 0; method < 4; ++method) {
        for (const Rule& rule : rules) {
            for (const auto& outcome : rule.outcomes) {
                Case c = outcome.second;
                c.method = method;
                c.overwriteMode = rule.mode;
                c.existing = outcome.first;
                row(QStringLiteral("%1/%2/%3").arg(methodNames[method], rule.name, c.existing), c);
            }
        }
    }

    // With that setting dates are not trusted: only the size counts.
    for (const char* existing : {"older", "newer", "size"}) {
        Case c = kept(Skipped, none, {existing == QString("older") ? olderText : newerText});
        if (existing == QString("size")) {
            // Another size is a difference, which "older" replaces.
            c = replaced({sizeText, removedText});
            c.overwriteMode = O::OverwriteOlder;
        }
        c.existing = existing;
        c.skipErrorsInSync = true;
        row(QStringLiteral("skip errors in sync/%1").arg(existing), c);
    }

    // A folder in the file's place is an error under every rule but the automatic rename.
    Case c;
    for (const int mode :
         {O::NoOverwrite, O::OverwriteOlder, O::OverwriteAlways, O::OverwriteDifferent}) {
        c = kept(DestinationError, "the destination holds a folder of this name",
                 {"Unable to remove existing file"});
        c.existing = "folder";
        c.overwriteMode = mode;
        row(QStringLiteral("folder in the file's place/overwrite mode %1").arg(mode), c);
    }

    // Auto rename numbering.
    c = renamed;
    c.existing = "identical";
    c.alsoExisting = QStringList{"file (1).txt"};
    c.renamedTo = "file (2).txt";
    c.info = QStringList{"Auto renamed (2)"};
    c.overwriteMode = O::AutoRename;
    row("auto rename/number taken", c);
    c = renamed;
    c.existing = "identical";
    c.name = ".cfg";
    c.renamedTo = ".cfg(1)";
    c.overwriteMode = O::AutoRename;
    row("auto rename/name starting with a dot", c);

    // A verify run compares and never writes, whatever the overwrite mode.
    for (const auto& v :
         {qMakePair(QString("missing"), kept(DestinationError, "Destination file does not exist")),
          qMakePair(QString("identical"), kept(Skipped, none)),
          // Its content is then checked, the date a note beside the result.
          qMakePair(QString("older"), kept(Skipped, none, QStringList{olderText})),
          qMakePair(QString("size"), kept(DestinationError, sizeText))}) {
        for (int mode : {int(O::OverwriteAlways), int(O::AutoRename)}) {
            c = v.second;
            c.copyMode = O::Verify;
            c.overwriteMode = mode;
            c.existing = v.first == "missing" ? QString() : v.first;
            c.outcome = c.existing.isEmpty() ? "none" : "kept";
            row(QStringLiteral("verify/%1/mode %2").arg(v.first).arg(mode), c);
        }
    }

    // A fix-errors run retries failed items from scratch, but an existing destination is
    // replaced only as the overwrite mode says.
    for (int previous : {int(DestinationError), int(SourceError), int(Skipped)}) {
        // A skipped item keeps its message; an error is retried afresh.
        c = kept(Skipped, previous == Skipped ? QString("unable to copy file") : none,
                 previous == Skipped ? QStringList{"earlier note", newerText}
                                     : QStringList{newerText});
        c.copyMode = O::FixErrors;
        c.existing = "newer";
        c.previousState = previous;
        row(QStringLiteral("fix errors/previous state %1/kept").arg(previous), c);
        if (previous == Skipped)
            continue;
        c = replaced({newerText, removedText});
        c.copyMode = O::FixErrors;
        c.overwriteMode = O::OverwriteAlways;
        c.existing = "newer";
        c.previousState = previous;
        row(QStringLiteral("fix errors/previous state %1/overwrite always").arg(previous), c);
    }

    for (int method = 0; method < 4; ++method) {
        const QString name = methodNames[method];
        const bool simple = method == CopyFileObject::SimpleMethod;
        const bool native = method <= CopyFileObject::NativeMethod;
        // New files: an empty one, one into missing folders, read-only ones.
        c = Case();
        c.method = method;
        row(name + "/new file", c);
        c.name = "a/b/file.txt";
        row(name + "/into missing folders", c);
        c = Case();
        c.method = method;
        c.source = "read-only";
        c.expectedMode = 0444;
        row(name + "/read-only stays read-only", c);
        c.removeReadOnly = true;
        c.expectedMode = 0644;
        row(name + "/read-only removed by the setting", c);

        // A move removes the source only after a successful copy.
        c = Case();
        c.method = method;
        c.copyMode = O::Move;
        c.info = QStringList{movedText};
        c.sourceRemoved = true;
        row(name + "/move", c);
        // The native and simple methods give the system's reason, the Qt method Qt's.
        c = kept(DestinationError,
                 simple ? "unable to open destination file" : "unable to copy file",
                 QStringList{"mkdir 20: Not a directory", "open 20: Not a directory"});
        c.method = method;
        c.copyMode = O::Move;
        c.existing = "blocked";
        c.outcome = "none";
        row(name + "/move fails", c);

        // FIFOs and devices are made anew, never opened.
        for (const char* special : {"fifo", "device"}) {
            c = Case();
            c.method = method;
            c.source = special;
            c.outcome = "made anew";
            row(name + "/" + special, c);
        }

        c = kept(DestinationError,
                 simple ? "unable to write to destination file" : "unable to copy file",
                 QStringList{native   ? "*28: No space left on device"
                             : simple ? "No space left on device"
                                      : "Failure to write block"});
        c.method = method;
        c.existing = "full";
        c.outcome = "none";
        row(name + "/full file system", c);
        // The new copy does not fit beside the old file, which outlives the failure.
        c.info.prepend(sizeText);
        c.overwriteMode = O::OverwriteAlways;
        c.outcome = "kept";
        row(name + "/full file system, overwrite keeps the old file", c);

        // Permissions, as user nobody.
        c = kept(SourceError, "source file is not readable");
        c.method = method;
        c.source = "unreadable";
        c.outcome = "none";
        row(name + "/unreadable source", c);
        c = kept(DestinationError,
                 simple ? "unable to open destination file" : "unable to copy file",
                 QStringList{"open 13: Permission denied"});
        c.method = method;
        c.existing = "unwritable";
        c.outcome = "none";
        row(name + "/destination folder not writable", c);
    }
    c = kept(Skipped, none, {movedText});
    c.copyMode = O::Move;
    c.existing = "identical";
    c.sourceRemoved = true;
    row("move/identical destination kept", c);
    // Its bytes differ: the source stays.
    c = kept(DestinationError, "different file exists", {sizeText});
    c.copyMode = O::Move;
    c.existing = "size";
    row("move/different destination kept", c);
    // Same size, dates within tolerance, or a newer destination: only the bytes tell.
    c = kept(DestinationError, "different file exists");
    c.copyMode = O::Move;
    c.existing = "look-alike";
    row("move/look-alike destination keeps the source", c);
    c.info = QStringList{newerText};
    c.overwriteMode = O::OverwriteOlder;
    c.existing = "newer";
    row("move/newer destination keeps the source", c);
}

void TestCopyFileObject::copiesFiles()
{
    QFETCH(Case, c);
    RunSettings settings;
    settings.copyMethod = c.method;
    settings.skipErrorsInSync = c.skipErrorsInSync;
    settings.removeReadOnlyAttribute = c.removeReadOnly;
    const bool asNobody = c.source == "unreadable" || c.existing == "unwritable";
    if (asNobody && !TestSupport::runningAsRoot())
        QSKIP("Needs root to make files that user nobody cannot use");

    QTemporaryDir dir;
    QVERIFY(setMode(dir.path(), 0755));
    const QString folder = dir.filePath("dst");
    QString source = dir.filePath("src/" + QFileInfo(c.name).fileName());
    const QString destination = folder + "/" + c.name;
    const int sourceMode = c.source == "read-only"      ? 0444
                           : c.source == "unreadable"   ? 0600
                           : c.existing == "unwritable" ? 0644
                                                        : 0640;
    if (c.source == "device") {
        source = "/dev/null";
    } else if (c.source == "fifo") {
        QVERIFY(QDir().mkpath(dir.filePath("src")));
        QCOMPARE(::mkfifo(QFile::encodeName(source).constData(), 0644), 0);
    } else {
        QVERIFY(writeFile(source, c.existing == "full" ? QByteArray(2 << 20, 'b') : sourceData,
                          sourceTime, sourceMode));
    }
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(setMode(folder, c.existing == "unwritable" ? 0755 : 0777));

    const QByteArray oldData = c.existing == "identical" ? sourceData
                               : c.existing == "size"    ? QByteArray("short")
                                                         : QByteArray("destin data 456");
    const QMap<QString, int> offsets{{"older", -10}, {"newer", 10}, {"look-alike", 0}};
    const QDateTime oldTime = sourceTime.addSecs(offsets.value(c.existing));
    if (offsets.contains(c.existing) || c.existing == "size" || c.existing == "identical")
        QVERIFY(writeFile(destination, oldData, oldTime, 0600));
    for (const QString& other : c.alsoExisting)
        QVERIFY(TestSupport::writeFile(folder + "/" + other, "other"));
    if (c.existing == "folder") {
        QVERIFY(TestSupport::writeFile(destination + "/inside", "x"));
        setModified(destination, sourceTime);
    } else if (c.existing == "blocked") {
        QVERIFY(QDir(folder).removeRecursively() && TestSupport::writeFile(folder, "a file"));
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Unable to create folder " + folder));
    }
    QProcess mount;
    if (c.existing == "full") {
        mount.start("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", folder});
        if (!mount.waitForFinished() || mount.exitCode() != 0)
            QSKIP(qPrintable("Cannot mount a 1 MiB tmpfs: " + mount.readAll().trimmed()));
    }
    const auto unmount = qScopeGuard([&] {
        if (c.existing == "full")
            QProcess::execute("umount", {folder});
    });
    if (c.existing == "full" && c.outcome == "kept")
        QVERIFY(writeFile(destination, oldData, oldTime, 0600));
    if (c.existing == "full" && c.method == CopyFileObject::SimpleMethod)
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable("Unable to write data in destination file " + destination));

    // Listed as the walk lists it: a FIFO or device without data.
    const bool special = c.source == "fifo" || c.source == "device";
    CopyItem input(source, destination, special ? 0 : 1, false, QString());
    input.copy_state = c.previousState;
    input.copy_message = c.previousState == Unprocessed ? QString() : "unable to copy file";
    input.info_list = QStringList{"earlier note"};
    CopyOptions options;
    options.m_copyMode = c.copyMode;
    options.m_overwriteMode = c.overwriteMode;
    int completions = 0;
    CopyItem item;
    if (asNobody)
        QVERIFY2(runCopierAsNobody(input, options, &item, &completions, settings),
                 "cannot run as nobody");
    else
        item = runCopier(input, options, &completions, settings);

    QCOMPARE(completions, 1);
    QCOMPARE(item.copy_state, c.state);
    QCOMPARE(item.copy_message, c.message);
    const QStringList expectedInfo =
        c.previousState == Unprocessed ? QStringList{"earlier note"} + c.info : c.info;
    QVERIFY2(infoMatches(item.info_list, expectedInfo), qPrintable(item.info_list.join(" | ")));
    QCOMPARE(QFileInfo::exists(source), !c.sourceRemoved);
    if (!c.sourceRemoved && c.source != "fifo" && c.source != "device")
        QCOMPARE(TestSupport::readFile(source).size(), c.existing == "full" ? 2 << 20 : 15);

    const QString renamedPath = folder + "/" + c.renamedTo;
    QCOMPARE(item.destination_path, c.outcome == "renamed" ? renamedPath : destination);
    QStringList expectedEntries = c.alsoExisting;
    if (c.outcome != "none")
        expectedEntries << c.name.section('/', 0, 0);
    if (c.outcome == "renamed")
        expectedEntries << c.renamedTo;
    if (c.existing == "blocked")
        QVERIFY(QFileInfo(folder).isFile());
    else
        QCOMPARE(entriesOf(folder), (expectedEntries.sort(), expectedEntries));
    if (c.outcome == "renamed")
        QCOMPARE(TestSupport::readFile(renamedPath), sourceData);
    if (c.outcome == "copied") {
        QCOMPARE(TestSupport::readFile(destination), sourceData);
        QCOMPARE(QFileInfo(destination).lastModified(), sourceTime);
        QCOMPARE(modeOf(destination), c.expectedMode);
        if (!c.sourceRemoved)
            QCOMPARE(modeOf(source), sourceMode);
    } else if (c.outcome == "made anew") {
        struct stat made = {};
        struct stat original = {};
        QCOMPARE(::lstat(QFile::encodeName(destination).constData(), &made), 0);
        QCOMPARE(::lstat(QFile::encodeName(source).constData(), &original), 0);
        QCOMPARE(made.st_mode, original.st_mode);
        QCOMPARE(made.st_rdev, original.st_rdev);
    } else if (c.existing == "folder") {
        QVERIFY(QFileInfo::exists(destination + "/inside"));
    } else if (c.outcome != "none") {
        QCOMPARE(TestSupport::readFile(destination), oldData);
        QCOMPARE(QFileInfo(destination).lastModified(), oldTime);
        // A kept destination takes the source's permissions, except in a verify run.
        const bool takesMode = c.state == Skipped && c.copyMode != O::Verify;
        QCOMPARE(modeOf(destination), takesMode ? sourceMode : 0600);
    }
}

void TestCopyFileObject::copiesSymbolicLinks_data()
{
    QTest::addColumn<QString>("sourceLink");
    QTest::addColumn<QString>("itemTarget");
    QTest::addColumn<QString>("existingLink");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("info");
    QTest::addColumn<QString>("expectedLink");
    const int no = O::NoOverwrite;
    const QString file = "{out}/target.txt";
    const QString folder = "{out}/folder";
    const QStringList replaced{linkText, removedText};
    QTest::newRow("to a file") << file << ""
                               << "" << no << int(Copied) << "" << QStringList() << file;
    QTest::newRow("to a folder") << folder << ""
                                 << "" << no << int(Copied) << "" << QStringList() << folder;
    // Copied as it is, with its own relative target text.
    QTest::newRow("dangling") << "missing.txt"
                              << ""
                              << "" << no << int(Copied) << "" << QStringList() << "missing.txt";
    // The file list maps targets inside the source tree to the destination tree.
    QTest::newRow("inside the source tree")
        << "inner.txt"
        << "{dst}/inner.txt"
        << "" << no << int(Copied) << "" << QStringList() << "{dst}/inner.txt";
    QTest::newRow("inside the source tree, target not copied yet")
        << "inner.txt"
        << "{dst}/gone.txt"
        << "" << no << int(Copied) << "" << QStringList() << "{dst}/gone.txt";
    QTest::newRow("relative, text kept")
        << "inner.txt"
        << ""
        << "" << no << int(Copied) << "" << QStringList() << "inner.txt";
    QTest::newRow("relative upwards, text kept")
        << "../out/target.txt"
        << ""
        << "" << no << int(Copied) << "" << QStringList() << "../out/target.txt";
    QTest::newRow("same link exists") << file << "" << file << int(O::OverwriteDifferent)
                                      << int(Skipped) << "" << QStringList() << file;
    QTest::newRow("other link, no overwrite")
        << file << "" << folder << no << int(Skipped) << "" << QStringList{linkText} << folder;
    QTest::newRow("other link, overwrite older")
        << file << "" << folder << int(O::OverwriteOlder) << int(DestinationError) << linkText
        << QStringList() << folder;
    QTest::newRow("other link, overwrite different")
        << file << "" << folder << int(O::OverwriteDifferent) << int(Copied) << "" << replaced
        << file;
    QTest::newRow("other link, overwrite always")
        << file << "" << folder << int(O::OverwriteAlways) << int(Copied) << "" << replaced << file;
}

void TestCopyFileObject::copiesSymbolicLinks()
{
    QFETCH(QString, sourceLink);
    QFETCH(QString, itemTarget);
    QFETCH(QString, existingLink);
    QFETCH(int, mode);
    QFETCH(int, state);
    QFETCH(QString, message);
    QFETCH(QStringList, info);
    QFETCH(QString, expectedLink);
    QTemporaryDir dir;
    const auto expand = [&dir](QString text) {
        return text.replace("{out}", dir.filePath("out")).replace("{dst}", dir.filePath("dst"));
    };
    QVERIFY(TestSupport::writeFile(dir.filePath("out/target.txt"), "target"));
    QVERIFY(QDir().mkpath(dir.filePath("out/folder")));
    QVERIFY(TestSupport::writeFile(dir.filePath("src/inner.txt"), "inner"));
    QVERIFY(TestSupport::writeFile(dir.filePath("dst/inner.txt"), "inner"));
    const QString source = dir.filePath("src/link");
    const QString destination = dir.filePath("dst/link");
    QVERIFY(QFile::link(expand(sourceLink), source));
    if (!existingLink.isEmpty())
        QVERIFY(QFile::link(expand(existingLink), destination));
    if (!QFileInfo::exists(source)) {
        const QString target = itemTarget.isEmpty() ? sourceLink : expand(itemTarget);
        QTest::ignoreMessage(QtWarningMsg, qPrintable("Symbolic link target not found: " + target));
    }

    CopyOptions options;
    options.m_overwriteMode = mode;
    int completions = 0;
    const CopyItem item = runCopier(CopyItem(source, destination, 0, false, expand(itemTarget)),
                                    options, &completions);
    QCOMPARE(completions, 1);
    QCOMPARE(item.copy_state, state);
    QCOMPARE(item.copy_message, message);
    QCOMPARE(item.info_list, info);
    QCOMPARE(linkTextOf(destination), expand(expectedLink));
    QCOMPARE(linkTextOf(source), expand(sourceLink));
}

void TestCopyFileObject::copiesFolders_data()
{
    QTest::addColumn<QString>("sourceKind");
    QTest::addColumn<QString>("destinationKind");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("message");
    QTest::newRow("new nested folder") << "folder"
                                       << "" << int(Copied) << QString();
    QTest::newRow("existing folder") << "folder"
                                     << "folder" << int(Skipped) << QString();
    QTest::newRow("file in the way")
        << "folder"
        << "file" << int(DestinationError) << "the destination holds a file of this name";
    QTest::newRow("missing source") << ""
                                    << "" << int(SourceError) << "source folder does not exist";
    QTest::newRow("unreadable source, as nobody")
        << "closed"
        << "" << int(SourceError) << "source folder is not readable";
    // It cannot be seen, but it is there.
    QTest::newRow("source inside a closed folder, as nobody")
        << "hidden"
        << "" << int(SourceError) << "source folder is not readable";
}

void TestCopyFileObject::copiesFolders()
{
    QFETCH(QString, sourceKind);
    QFETCH(QString, destinationKind);
    QFETCH(int, state);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(setMode(dir.path(), 0755));
    const QString source = dir.filePath("src/folder");
    const QString destination = dir.filePath("dst/a/folder");
    if (!sourceKind.isEmpty())
        QVERIFY(QDir().mkpath(source) && setMode(source, sourceKind == "closed" ? 0700 : 0755));
    if (sourceKind == "hidden")
        QVERIFY(setMode(dir.filePath("src"), 0700));
    if (destinationKind == "folder")
        QVERIFY(QDir().mkpath(destination));
    else if (destinationKind == "file")
        QVERIFY(TestSupport::writeFile(destination, "x"));

    const CopyItem input(source, destination, 0, true, QString());
    int completions = 0;
    CopyItem item;
    if (sourceKind != "closed" && sourceKind != "hidden")
        item = runCopier(input, CopyOptions(), &completions);
    else if (!TestSupport::runningAsRoot())
        QSKIP("Needs root to make a folder that user nobody cannot read");
    else
        QVERIFY(runCopierAsNobody(input, CopyOptions(), &item, &completions));
    QCOMPARE(completions, 1);
    QCOMPARE(item.copy_state, state);
    QCOMPARE(item.copy_message, message);
    QCOMPARE(QFileInfo(destination).isDir(), state == Copied || state == Skipped);
}

// The source changes while, or just before, the copier reads it. The simple method stops at
// each 16 MiB mark, where the change is made; the native method's own check is tested with
// the system copy.
void TestCopyFileObject::sourceChanges_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("warnings"); // {S} the source

    const qint64 blocks = 2 * CopyFileObject::progressStep;
    const QString changed("source file changed during the copy");
    const QStringList changedWarning{"Source file changed during the copy: {S}"};
    // On a block boundary the loop stops right at the size read first: the copy would be
    // the first part of the new version. Otherwise the last read goes past that size.
    QTest::newRow("grows while copied, size on a block boundary")
        << "grow" << blocks << int(SourceError) << changed << changedWarning;
    QTest::newRow("grows while copied")
        << "grow" << blocks + 5 << int(SourceError) << changed << changedWarning;
    QTest::newRow("rewritten in place while copied")
        << "rewrite" << blocks + 5 << int(SourceError) << changed << changedWarning;
    QTest::newRow("shrinks while copied") << "shrink" << blocks + 5 << int(DestinationError)
                                          << "unable to complete the copy" << QStringList();
    QTest::newRow("gone before the copy")
        << "missing" << blocks << int(SourceError) << "source file does not exist" << QStringList();
}

void TestCopyFileObject::sourceChanges()
{
    QFETCH(QString, change);
    QFETCH(qint64, size);
    QFETCH(int, state);
    QFETCH(QString, message);
    QFETCH(QStringList, warnings);
    QTemporaryDir dir;
    const QString source = dir.filePath("src/growing.log");
    const QString destination = dir.filePath("dst/growing.log");
    if (change != "missing")
        QVERIFY(writeFile(source, QByteArray(int(size), 'a'), sourceTime, 0640));
    for (QString warning : warnings)
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning.replace("{S}", source)));

    CopyFileObject copier;
    copier.m_settings.copyMethod = CopyFileObject::SimpleMethod;
    static_cast<CopyItem&>(copier) = CopyItem(source, destination, size, false, QString());
    QSignalSpy completed(&copier, &CopyObject::copyCompleted);
    int marks = 0;
    connect(&copier, &CopyObject::copyProgress, this, [&] {
        if (++marks > 1)
            return;
        QFile file(source);
        if (change == "grow") {
            QVERIFY(file.open(QIODevice::Append));
            QCOMPARE(file.write("more"), qint64(4));
        } else if (change == "shrink") {
            QVERIFY(file.resize(CopyFileObject::progressStep + 1));
        } else {
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(size - 3));
            QCOMPARE(file.write("XYZ"), qint64(3));
        }
    });
    copier.startCopy();

    QCOMPARE(completed.count(), 1);
    QCOMPARE(marks > 0, change != "missing");
    QCOMPARE(copier.copy_message, message);
    QCOMPARE(copier.copy_state, state);
    // No partial copy, nor one of a version that never existed.
    QVERIFY(!QFileInfo::exists(destination));
    QCOMPARE(QFileInfo::exists(source), change != "missing");
}

void TestCopyFileObject::neverCopiesOntoItself_data()
{
    QTest::addColumn<QString>("alias");
    QTest::addColumn<int>("copyMode");
    QTest::addColumn<int>("overwriteMode");
    for (const char* alias : {"hard link", "linked folder", "bind mount", "link to the file"})
        for (int copyMode : {int(O::Copy), int(O::Move), int(O::FixErrors)})
            for (int mode = O::NoOverwrite; mode <= O::OverwriteDifferent; ++mode)
                QTest::addRow("%s/copy mode %d/overwrite mode %d", alias, copyMode, mode)
                    << QString(alias) << copyMode << mode;
}

void TestCopyFileObject::neverCopiesOntoItself()
{
    QFETCH(QString, alias);
    QFETCH(int, copyMode);
    QFETCH(int, overwriteMode);
    QTemporaryDir dir;
    const QString source = dir.filePath("src/file.txt");
    const QString destination = dir.filePath("dst/file.txt");
    QVERIFY(TestSupport::writeFile(source, sourceData));
    if (alias != "linked folder")
        QVERIFY(QDir().mkpath(dir.filePath("dst")));
    if (alias == "hard link")
        QCOMPARE(::link(QFile::encodeName(source).constData(),
                        QFile::encodeName(destination).constData()),
                 0);
    else if (alias == "linked folder")
        QVERIFY(QFile::link(dir.filePath("src"), dir.filePath("dst")));
    else if (alias == "link to the file")
        QVERIFY(QFile::link(source, destination));
    else if (QProcess::execute("mount", {"--bind", dir.filePath("src"), dir.filePath("dst")}))
        QSKIP("Cannot bind-mount a folder");
    const auto unmount = qScopeGuard([&] {
        if (alias == "bind mount")
            QProcess::execute("umount", {dir.filePath("dst")});
    });

    CopyOptions options;
    options.m_copyMode = copyMode;
    options.m_overwriteMode = overwriteMode;
    CopyItem input(source, destination, sourceData.size(), false, QString());
    if (copyMode == O::FixErrors)
        input.setDestinationError("unable to copy file");
    int completions = 0;
    const CopyItem item = runCopier(input, options, &completions);
    QCOMPARE(completions, 1);
    QCOMPARE(item.copy_state, int(Skipped));
    QCOMPARE(item.info_list, QStringList{"source and destination are the same file"});
    QCOMPARE(TestSupport::readFile(source), sourceData);
    // Nothing written beside it: no temporary name, no renamed copy.
    QCOMPARE(entriesOf(dir.filePath("src")), QStringList{"file.txt"});
}

void TestCopyFileObject::keepsMetadata_data()
{
    QTest::addColumn<int>("method");
    // "disk"; "nobody": copied by user nobody, who may give the copy neither the owner nor
    // the group; "ramfs": to a file system that keeps no extended attributes.
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QStringList>("info");
    for (int method :
         {CopyFileObject::NativeMethod, CopyFileObject::QtMethod, CopyFileObject::SimpleMethod}) {
        QTest::addRow("%s", methodNames[method]) << method << "disk" << QStringList();
        QTest::addRow("%s, as nobody", methodNames[method])
            << method << "nobody"
            << QStringList{"unable to keep the owner", "unable to keep the group"};
        QTest::addRow("%s, to ramfs", methodNames[method])
            << method << "ramfs"
            << QStringList{"destination file system keeps no extended attributes or ACLs"};
    }
}

// What cp -a keeps: owner, mode with its set-user-ID bit, a user attribute and an ACL, all on
// the copy once it has its name; a folder made for it stays private until the folder sync.
void TestCopyFileObject::keepsMetadata()
{
    QFETCH(int, method);
    QFETCH(QString, destination);
    QFETCH(QStringList, info);
    if (!TestSupport::runningAsRoot())
        QSKIP("Needs root to give files away");
    RunSettings settings;
    settings.copyMethod = method;
    QTemporaryDir dir;
    QVERIFY(setMode(dir.path(), 0755));
    const QString source = dir.filePath("src/file");
    const QString folder = dir.filePath("dst");
    const QString copy = folder + "/made/file";
    QVERIFY(QDir().mkpath(folder));
    const auto unmount = qScopeGuard([&] {
        if (destination == "ramfs")
            QProcess::execute("umount", {folder});
    });
    if (destination == "ramfs" && !TestSupport::mountRamfs(folder))
        QSKIP("Cannot mount a ramfs");
    // Nobody copies root's file into his own folder; root, nobody's file.
    const uint owner = destination == "nobody" ? 0 : 65534;
    const QByteArray sourcePath = QFile::encodeName(source);
    QVERIFY(writeFile(source, sourceData, sourceTime, 0755));
    QCOMPARE(::chown(sourcePath.constData(), owner, owner), 0);
    QVERIFY(setMode(source, 04755));
    const QByteArray acl = TestSupport::posixAcl(0755, 1234, 5);
    QVERIFY(TestSupport::setAttribute(source, "system.posix_acl_access", acl));
    QVERIFY(TestSupport::setAttribute(source, "user.origin", "kept"));
    QCOMPARE(modeOf(source), 04755);
    if (destination == "nobody")
        QCOMPARE(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);

    const CopyItem input(source, copy, sourceData.size(), false, QString());
    int completions = 0;
    CopyItem item;
    if (destination == "nobody")
        QVERIFY(runCopierAsNobody(input, CopyOptions(), &item, &completions, settings));
    else
        item = runCopier(input, CopyOptions(), &completions, settings);
    QCOMPARE(completions, 1);
    QCOMPARE(item.copy_state, int(Copied));
    QCOMPARE(item.info_list, info);

    struct stat status = {};
    QCOMPARE(::lstat(QFile::encodeName(copy).constData(), &status), 0);
    // Nobody's copy is his: another's set-user-ID bit on it would lend him the rights.
    const uint copyOwner = destination == "nobody" ? 65534 : owner;
    QCOMPARE(uint(status.st_uid), copyOwner);
    QCOMPARE(uint(status.st_gid), copyOwner);
    QCOMPARE(int(status.st_mode & 07777), destination == "nobody" ? 0755 : 04755);
    const bool attributes = destination != "ramfs";
    QCOMPARE(TestSupport::attribute(copy, "user.origin"), QByteArray(attributes ? "kept" : ""));
    QCOMPARE(TestSupport::attribute(copy, "system.posix_acl_access"),
             attributes ? acl : QByteArray());
    QCOMPARE(modeOf(folder + "/made"), PlatformCopy::createdFolderMode);
}

void TestCopyFileObject::keepsHoles_data()
{
    QTest::addColumn<int>("method");
    for (int method : {int(CopyFileObject::NativeMethod), int(CopyFileObject::QtMethod),
                       int(CopyFileObject::SimpleMethod)})
        QTest::newRow(methodNames[method]) << method;
}

// 64 MiB with 5000 bytes of data at 4 KiB and at 40 MiB: the copy holds the same bytes and
// takes as little room.
void TestCopyFileObject::keepsHoles()
{
    QFETCH(int, method);
    RunSettings settings;
    settings.copyMethod = method;
    QTemporaryDir dir;
    const QString source = dir.filePath("src/disk.img");
    const QString destination = dir.filePath("dst/disk.img");
    QByteArray bytes(64 * 1024 * 1024, '\0');
    QVERIFY(QDir().mkpath(dir.filePath("src")));
    QFile file(source);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(bytes.size()));
    for (const qint64 offset : {qint64(4096), qint64(40 * 1024 * 1024)}) {
        const QByteArray data(5000, char(offset / 4096 + 1));
        bytes.replace(int(offset), data.size(), data);
        QVERIFY(file.seek(offset) && file.write(data) == data.size());
    }
    file.close();
    if (allocatedBytes(source) >= 1024 * 1024)
        QSKIP("The file system of the temporary folder keeps no holes");

    int completions = 0;
    const CopyItem item = runCopier(CopyItem(source, destination, bytes.size(), false, QString()),
                                    CopyOptions(), &completions, settings);
    QCOMPARE(completions, 1);
    QCOMPARE(item.copy_state, int(Copied));
    QCOMPARE(TestSupport::readFile(destination), bytes);
    QVERIFY2(allocatedBytes(destination) < 1024 * 1024,
             qPrintable(QString::number(allocatedBytes(destination))));
    // A verify reads the holes as the zeros they hold.
    QCOMPARE(FileHash::sha256(destination),
             QCryptographicHash::hash(bytes, QCryptographicHash::Sha256));
}

void TestCopyFileObject::kernelFileReadToItsEnd_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("proc: size 0") << "/proc/self/cmdline";
    QTest::newRow("sysfs: size 4096") << "/sys/kernel/mm/transparent_hugepage/enabled";
}

// Its size says nothing of its bytes: neither padded with zeros nor left empty.
void TestCopyFileObject::kernelFileReadToItsEnd()
{
    QFETCH(QString, source);
    if (!QFileInfo::exists(source))
        QSKIP("No such kernel file here");
    QTemporaryDir dir;
    int completions = 0;
    const QString destination = dir.filePath(QFileInfo(source).fileName());
    const CopyItem item =
        runCopier(CopyItem(source, destination, QFileInfo(source).size(), false, QString()),
                  CopyOptions(), &completions);
    QCOMPARE(item.copy_state, int(Copied));
    const QByteArray copy = TestSupport::readFile(destination);
    QVERIFY(!copy.isEmpty() && copy.size() != 4096);
    QCOMPARE(item.file_size, qint64(copy.size()));
}

void TestCopyFileObject::moveKeepsItsOnlyCopy_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("message");
    QTest::newRow("source saved over after it was read") << "saved over"
                                                         << "source file changed during the move";
    QTest::newRow("source saved over, same size and date") << "same size and date"
                                                           << "source file changed during the move";
    QTest::newRow("destination is a link to an equal file") << "link to equal"
                                                            << "different file exists";
}

// A move removes its source only when the destination holds what was read from it.
void TestCopyFileObject::moveKeepsItsOnlyCopy()
{
    QFETCH(QString, change);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString source = dir.filePath("src/f");
    const QString destination = dir.filePath("dst/f");
    QVERIFY(TestSupport::writeFile(source, "old version"));
    QVERIFY(QDir().mkpath(dir.filePath("dst")));
    auto copier = std::make_unique<CopyFileObject>();
    copier->m_options.m_copyMode = CopyOptions::Move;
    static_cast<CopyItem&>(*copier) = CopyItem(source, destination, 11, false, QString());
    int fd = -1;
    const QByteArray newVersion = change == "saved over" ? "new version, longer" : "new version";
    if (change != "link to equal") {
        // Read through the descriptor opened before an editor renames its new file over it.
        fd = Platform::openFileAhead(source, 0, &copier->m_sourceStatus);
        QVERIFY(fd >= 0);
        copier->m_sourceFd = fd;
        QVERIFY(TestSupport::writeFile(dir.filePath("src/f.new"), newVersion));
        Platform::FileTimes times;
        QVERIFY(Platform::readFileTimes(source, &times));
        QVERIFY(Platform::writeFileTimes(dir.filePath("src/f.new"), times));
        QVERIFY(::rename(QFile::encodeName(dir.filePath("src/f.new")).constData(),
                         QFile::encodeName(source).constData()) == 0);
    } else {
        QVERIFY(TestSupport::writeFile(dir.filePath("elsewhere"), "old version"));
        QVERIFY(QFile::link(dir.filePath("elsewhere"), destination));
        copier->m_options.m_overwriteMode = CopyOptions::NoOverwrite;
    }
    if (fd >= 0)
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable("Source file changed during the move: " + source));
    copier->startCopy();
    Platform::closeFile(fd);
    QCOMPARE(copier->copy_message, message);
    QVERIFY(copier->isError());
    QCOMPARE(TestSupport::readFile(source), fd >= 0 ? newVersion : QByteArray("old version"));
}

void TestCopyFileObject::writesNothingOnceTheDriveIsGone_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("copy") << int(CopyOptions::Copy);
    QTest::newRow("move") << int(CopyOptions::Move);
    QTest::newRow("move onto an equal file") << int(CopyOptions::Move);
}

// The run began with its destination on another file system (here that of /proc; an
// unmounted drive leaves its mount point on the system disk): nothing is written there now,
// and no source goes.
void TestCopyFileObject::writesNothingOnceTheDriveIsGone()
{
    QFETCH(int, mode);
    QTemporaryDir dir;
    const QString mountPoint = dir.filePath("drive");
    QVERIFY(TestSupport::writeFile(dir.filePath("f"), "data"));
    const int fd = Platform::openFolder("/proc");
    CopyFileObject copier;
    copier.m_destinationAnchor = DestinationAnchor::fromOpenFolder(fd, mountPoint);
    Platform::closeFolder(fd);
    QVERIFY(copier.m_destinationAnchor.isSet());
    copier.m_options.m_copyMode = mode;
    copier.m_options.m_overwriteMode = CopyOptions::NoOverwrite;
    static_cast<CopyItem&>(copier) =
        CopyItem(dir.filePath("f"), mountPoint + "/dst/f", 4, false, QString());
    if (QByteArray(QTest::currentDataTag()).endsWith("equal file"))
        QVERIFY(TestSupport::writeFile(mountPoint + "/dst/f", "data"));
    QTest::ignoreMessage(QtWarningMsg,
                         qPrintable("Destination " + mountPoint +
                                    " is no longer on the file system the run began with"));
    copier.startCopy();
    QCOMPARE(copier.copy_message, DestinationAnchor::lostText());
    QVERIFY(!QFileInfo::exists(mountPoint) || QFileInfo::exists(mountPoint + "/dst/f"));
    QCOMPARE(TestSupport::readFile(dir.filePath("f")), QByteArray("data"));
}

void TestCopyFileObject::createsFoldersBelowTheRootWithoutLinks_data()
{
    // What stands at dst/sub when the folder is made (a link put there after the checks).
    QTest::addColumn<QString>("linkTarget");
    QTest::addColumn<bool>("created");
    QTest::newRow("nothing") << "" << true;
    QTest::newRow("link to an outside folder") << "../outside" << false;
    QTest::newRow("dangling link") << "../gone" << false;
}

void TestCopyFileObject::createsFoldersBelowTheRootWithoutLinks()
{
    QFETCH(QString, linkTarget);
    QFETCH(bool, created);
    QTemporaryDir dir;
    const QString dst = dir.filePath("dst");
    QVERIFY(QDir().mkpath(dst) && QDir().mkpath(dir.filePath("outside")));
    if (!linkTarget.isEmpty())
        QVERIFY(QFile::link(linkTarget, dst + "/sub"));
    CopyFileObject copier;
    copier.m_destinationRoot = dst;
    PlatformCopy::Failure failure;
    QCOMPARE(copier.createFoldersBelowRoot(dst + "/sub/a/b", &failure), created);
    QCOMPARE(QFileInfo(dst + "/sub/a/b").isDir(), created);
    QVERIFY(TestSupport::entriesOf(dir.filePath("outside")).isEmpty());
    QVERIFY(!QFileInfo::exists(dir.filePath("gone")));
}

QTEST_GUILESS_MAIN(TestCopyFileObject)
#include "tst_copyfileobject.moc"
