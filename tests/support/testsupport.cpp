#include "testsupport.h"

#include "app/programidentity.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <sys/mman.h>
#include <unistd.h>

#include <vector>

namespace TestSupport {

void initTestEnvironment()
{
    QStandardPaths::setTestModeEnabled(true);
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

bool runningAsRoot()
{
    return ::geteuid() == 0;
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
