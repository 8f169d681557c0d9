// brindle-hashbench FILE ALGORITHM RUNS [MODE...]: the best of RUNS hashes of FILE, in MB/s.
// Modes: "one-thread" reads and hashes in turns on one thread (no reading aside); "device"
// reads the file from its device as a verified copy's read-back does (its pages dropped
// before each run), else the cache is allowed; "cpu" divides by the processor time the
// process took instead of the time passed (for a machine shared with other work).

#include "engine/digest.h"
#include "engine/filehash.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <ctime>

namespace {

qint64 processorNs()
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    Digest::Algorithm algorithm;
    const QStringList modes = arguments.mid(4);
    const bool oneThread = modes.contains(QStringLiteral("one-thread"));
    const bool device = modes.contains(QStringLiteral("device"));
    const bool cpu = modes.contains(QStringLiteral("cpu"));
    if (arguments.size() < 4 || !Digest::fromName(arguments.at(2), &algorithm) ||
        modes.size() != int(oneThread) + int(device) + int(cpu)) {
        std::fprintf(stderr, "usage: brindle-hashbench FILE sha256|blake2b|xxh3 RUNS [one-thread] "
                             "[device] [cpu]\n");
        return 2;
    }
    FileHash::initialize();
    const qint64 size = QFileInfo(arguments.at(1)).size();
    qint64 best = -1;
    for (int run = 0; run < arguments.at(3).toInt(); ++run) {
        QElapsedTimer timer;
        timer.start();
        const qint64 cpuStart = processorNs();
        FileHash::OpenFile file(arguments.at(1), device ? FileHash::Reading::FromDevice
                                                        : FileHash::Reading::MayUseCache);
        file.setReadAside(!oneThread);
        if (file.digest(algorithm).isEmpty())
            return 1;
        const qint64 ns = cpu ? processorNs() - cpuStart : timer.nsecsElapsed();
        best = best < 0 ? ns : qMin(best, ns);
    }
    std::printf("%.0f\n", double(size) / 1e6 / (double(best) / 1e9));
    return 0;
}
