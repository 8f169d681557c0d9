// brindle-hashbench FILE ALGORITHM RUNS: the best of RUNS hashes of FILE, in MB/s.

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
    if (arguments.size() != 4 || !Digest::fromName(arguments.at(2), &algorithm)) {
        std::fprintf(stderr, "usage: brindle-hashbench FILE sha256|blake2b|xxh3 RUNS\n");
        return 2;
    }
    FileHash::initialize();
    const qint64 size = QFileInfo(arguments.at(1)).size();
    qint64 best = -1;
    for (int run = 0; run < arguments.at(3).toInt(); ++run) {
        QElapsedTimer timer;
        timer.start();
        FileHash::OpenFile file(arguments.at(1));
        if (file.digest(algorithm).isEmpty())
            return 1;
        const qint64 ns = timer.nsecsElapsed();
        best = best < 0 ? ns : qMin(best, ns);
    }
    std::printf("%.0f\n", double(size) / 1e6 / (double(best) / 1e9));
    return 0;
}
