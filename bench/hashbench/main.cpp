// brindle-hashbench FILE ALGORITHM RUNS [MODE...]: the best of RUNS hashes of FILE, in MB/s.
// Modes: "one-thread" reads and hashes in turns on one thread (no reading aside); "device"
// reads the file from its device as a verified copy's read-back does (its pages dropped
// before each run), else the cache is allowed.

#include "engine/digest.h"
#include "engine/filehash.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    Digest::Algorithm algorithm;
    const QStringList modes = arguments.mid(4);
    const bool oneThread = modes.contains(QStringLiteral("one-thread"));
    const bool device = modes.contains(QStringLiteral("device"));
    if (arguments.size() < 4 || !Digest::fromName(arguments.at(2), &algorithm) ||
        modes.size() != int(oneThread) + int(device)) {
        std::fprintf(stderr, "usage: brindle-hashbench FILE sha256|blake2b|xxh3 RUNS [one-thread] "
                             "[device]\n");
        return 2;
    }
    FileHash::initialize();
    const qint64 size = QFileInfo(arguments.at(1)).size();
    qint64 best = -1;
    for (int run = 0; run < arguments.at(3).toInt(); ++run) {
        QElapsedTimer timer;
        timer.start();
        FileHash::OpenFile file(arguments.at(1), device ? FileHash::Reading::FromDevice
                                                        : FileHash::Reading::MayUseCache);
        file.setReadAside(!oneThread);
        if (file.digest(algorithm).isEmpty())
            return 1;
        const qint64 ns = timer.nsecsElapsed();
        best = best < 0 ? ns : qMin(best, ns);
    }
    std::printf("%.0f\n", double(size) / 1e6 / (double(best) / 1e9));
    return 0;
}
