#include "exfatmount.h"

#include <QtTest>

#include <atomic>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using TestSupport::ExfatMount;

// The hung-mount rig itself: a call into a stopped FUSE daemon's mount blocks where the
// probe sees it, and goes on once the daemon answers. Tests of hung mounts build on both.
class TestHungMount : public QObject
{
    Q_OBJECT

private slots:
    void blocksUntilAnswered();
};

void TestHungMount::blocksUntilAnswered()
{
    ExfatMount mount;
    if (!mount.isValid())
        QSKIP(qPrintable(mount.skipReason()));
    // A name never looked up: no cached answer spares the call to the daemon.
    const QByteArray path = QFile::encodeName(mount.path() + "/never-seen.txt");

    QVERIFY(mount.hang());
    std::atomic<bool> returned{false};
    std::thread caller([&] {
        struct stat status;
        ::stat(path.constData(), &status);
        returned = true;
    });
    // Whatever fails below, the caller is let go and joined.
    struct Release
    {
        ExfatMount& mount;
        std::thread& caller;
        ~Release()
        {
            mount.answer();
            caller.join();
        }
    } release{mount, caller};

    QTRY_COMPARE_WITH_TIMEOUT(ExfatMount::threadsWaitingOnFuse(::getpid()), 1, 30000);
    QVERIFY(!returned);
    QVERIFY(mount.answer());
    QTRY_VERIFY_WITH_TIMEOUT(returned, 30000);
    QCOMPARE(ExfatMount::threadsWaitingOnFuse(::getpid()), 0);
}

QTEST_GUILESS_MAIN(TestHungMount)
#include "tst_hungmount.moc"
