#include "testsupport.h"

#include "app/programidentity.h"
#include "fs/filenamecodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <vector>

namespace TestSupport {

void initTestEnvironment()
{
    QStandardPaths::setTestModeEnabled(true);
    FileNameCodec::install();
    QCoreApplication::setApplicationName(ProgramIdentity::programName());
    QCoreApplication::setOrganizationName(ProgramIdentity::organizationName());
    QCoreApplication::setOrganizationDomain(ProgramIdentity::organizationDomain());
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(data) == data.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

char processState(qint64 pid)
{
    const QByteArray text = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const int end = text.lastIndexOf(')');
    return end > 0 && end + 2 < text.size() ? text.at(end + 2) : 0;
}

bool threadHoldsOnPause()
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& id : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QStringList call =
            QString::fromLatin1(readFile(tasks.filePath(id + "/syscall"))).split(' ');
        if (call.size() > 3 && call.at(0) == "202" && call.at(2) == "0x80" && call.at(3) == "0x2")
            return true;
    }
    return false;
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QMap<QString, QByteArray> treeOf(const QString& root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), readFile(path));
    }
    return files;
}

QStringList filesBelow(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

int modeOf(const QString& path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return 0;
    return int(status.st_mode & 07777);
}

bool setMode(const QString& path, int mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

int runAsNobody(const QString& program, const QStringList& arguments, QByteArray* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList setprivArguments{QStringLiteral("--reuid=nobody"),
                                 QStringLiteral("--regid=nogroup"),
                                 QStringLiteral("--clear-groups"), program};
    setprivArguments += arguments;
    process.start(QStringLiteral("setpriv"), setprivArguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (output)
        *output = process.readAll();
    return process.exitCode();
}

bool setAttribute(const QString& path, const char* name, const QByteArray& value)
{
    return ::lsetxattr(QFile::encodeName(path).constData(), name, value.constData(),
                       size_t(value.size()), 0) == 0;
}

QByteArray attribute(const QString& path, const char* name, bool* present)
{
    QByteArray value(65536, Qt::Uninitialized);
    const ssize_t size =
        ::lgetxattr(QFile::encodeName(path).constData(), name, value.data(), size_t(value.size()));
    if (present)
        *present = size >= 0;
    value.truncate(size < 0 ? 0 : int(size));
    return value;
}

QByteArray posixAcl(int mode, uint uid, int userBits)
{
    // A version word, then entries of tag, permission bits and id, ordered by tag.
    const quint32 noId = 0xffffffff;
    const struct
    {
        quint16 tag;
        int bits;
        quint32 id;
    } entries[] = {{0x01, mode >> 6, noId},
                   {0x02, userBits, uid},
                   {0x04, mode >> 3, noId},
                   {0x10, mode >> 3, noId},
                   {0x20, mode, noId}};
    QByteArray value;
    const auto put = [&value](quint32 number, int bytes) {
        for (int i = 0; i < bytes; ++i)
            value.append(char((number >> (8 * i)) & 0xff));
    };
    put(2, 4);
    for (const auto& entry : entries) {
        put(entry.tag, 2);
        put(quint32(entry.bits & 7), 2);
        put(entry.id, 4);
    }
    return value;
}

bool mountRamfs(const QString& folder)
{
    QProcess mount;
    mount.start("mount", {"-t", "ramfs", "ramfs", folder});
    return mount.waitForFinished() && mount.exitStatus() == QProcess::NormalExit &&
           mount.exitCode() == 0;
}

int residentPages(int fd, qint64 offset, qint64 length)
{
    void* map = ::mmap(nullptr, size_t(length), PROT_READ, MAP_SHARED, fd, off_t(offset));
    if (map == MAP_FAILED)
        return -1;
    const long page = ::sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> pages(size_t((length + page - 1) / page));
    int resident = -1;
    if (::mincore(map, size_t(length), pages.data()) == 0) {
        resident = 0;
        for (const unsigned char flags : pages)
            resident += flags & 1;
    }
    ::munmap(map, size_t(length));
    return resident;
}

} // namespace TestSupport
