// Runs one copy through the real window, offscreen, and measures how the user-interface
// thread keeps up: a 5 ms repeating timer records how late each of its ticks comes, the
// file list's row count and the process's resident memory are read before and after the
// list is filled, and the run is timed from the copy task's start to taskCompleted.
//
//   brindle-windowbench SOURCE DESTINATION [--view copied|none] [--timeout SECONDS]
//                       [--progress-points N]
//
// DESTINATION must not exist: the window asks to create it, and every question is
// answered with its default button. Prints key=value lines on standard output. With
// --progress-points, the window's count, bar and remaining time are read at N points of
// the run (each time the bytes at the destination pass another N-th of the total) and
// printed beside the bytes on disk, the engine's counters and the time the run then still
// took (progress_point=... lines).
#include "app/appsettings.h"
#include "app/logger.h"
#include "app/programidentity.h"
#include "desktop.h"
#include "dialogs.h"
#include "engine/filehash.h"
#include "engine/runcontroller.h"
#include "guimainwindow.h"
#include "jobs/jobthreadpool.h"
#include "jobs/transfercounters.h"
#include "reportview.h"
#include "runpresenter.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Every box is answered with its default button; pickers and input boxes are cancelled.
class DefaultAnswers : public Dialogs
{
public:
    int ask(QWidget*, const Message& message) override
    {
        std::fprintf(stderr, "windowbench: asked \"%s\", answered \"%s\"\n",
                     qUtf8Printable(message.text),
                     qUtf8Printable(message.buttons.value(message.defaultButton)));
        ++questions;
        return message.defaultButton;
    }
    PlanAnswer showPlan(QWidget*, const PlanQuestion& question) override
    {
        std::fprintf(stderr, "windowbench: plan \"%s\", answered \"%s\"\n",
                     qUtf8Printable(question.headline),
                     qUtf8Printable(question.buttons.value(question.defaultButton)));
        ++questions;
        PlanAnswer answer;
        answer.button = question.defaultButton;
        return answer;
    }
    QString existingFolder(QWidget*, const QString&, const QString&) override { return {}; }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QString textInput(QWidget*, const QString&, const QString&, const QString&, bool* ok) override
    {
        *ok = false;
        return {};
    }
    int questions = 0;
};

// Nothing is opened, started or announced on the desktop.
class NoDesktop : public Desktop
{
public:
    bool openUrl(const QUrl&) override { return true; }
    bool showInFileManager(const QString&) override { return true; }
    bool startDetached(const QString&, const QStringList&) override { return true; }
    void notify(const QString&, const QString&, std::function<void()>) override {}
};

// Waits, turning the event loop, until the list has taken every waiting item; the worst
// gap between two turns of the loop in that time goes to worstUs. Milliseconds taken.
double waitForList(const ReportView* report, qint64* worstUs)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    *worstUs = 0;
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const qint64 now = clock.nsecsElapsed() / 1000;
        *worstUs = std::max(*worstUs, now - last);
        last = now;
    } while (report->isLoading() && clock.elapsed() < 120000);
    return double(clock.nsecsElapsed()) / 1e6;
}

// The name filter applied and cleared, and the "Report" tab left and shown again, on the
// filled list: what a user waits for after a big run.
void measureListActions(GuiMainWindow* window, QTabWidget* tabs, int reportTab,
                        QAbstractItemView* files)
{
    auto* pattern = window->findChild<QLineEdit*>(QStringLiteral("mp_leFilterName"));
    auto* apply = window->findChild<QPushButton*>(QStringLiteral("mp_pbApplyFilter"));
    if (!pattern || !apply || reportTab < 0)
        return;
    qint64 worstUs = 0;
    const char* const steps[][2] = {{"filter", "f01"}, {"filter_clear", ""}};
    for (const auto& step : steps) {
        pattern->setText(QString::fromLatin1(step[1]));
        QElapsedTimer clock;
        clock.start();
        apply->click();
        const double ms =
            double(clock.nsecsElapsed()) / 1e6 + waitForList(window->reportView(), &worstUs);
        window->repaint();
        std::printf("%s_ms=%.1f\n%s_rows=%d\n%s_worst_turn_ms=%.1f\n", step[0], ms, step[0],
                    files->model()->rowCount(), step[0], double(worstUs) / 1000.0);
    }
    // Each switch is timed from the click to the end of the window's paint.
    double worstSwitchMs = 0;
    for (int round = 0; round < 3; ++round) {
        for (const int index : {0, reportTab}) {
            QElapsedTimer clock;
            clock.start();
            tabs->setCurrentIndex(index);
            window->repaint();
            QCoreApplication::processEvents();
            worstSwitchMs = std::max(worstSwitchMs, double(clock.nsecsElapsed()) / 1e6);
        }
    }
    std::printf("tab_switch_worst_ms=%.1f\n", worstSwitchMs);
}

// The bytes written so far under folder, unfinished files included.
qint64 bytesOnDisk(const QString& folder)
{
    qint64 total = 0;
    QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        files.next();
        total += files.fileInfo().size();
    }
    return total;
}

QString plainText(const QString& html)
{
    QTextDocument document;
    document.setHtml(html);
    return document.toPlainText().simplified();
}

// What the window shows at one point of the run, beside what is true then.
struct ProgressPoint
{
    qint64 atUs = 0;
    qint64 diskBytes = 0;
    qint64 engineBytes = 0;   // bytes of the files counted as completed
    qint64 inFlightBytes = 0; // bytes of the files being copied
    qint64 totalBytes = 0;
    int bar = 0;
    QString stats;
    QString remaining;
};

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

double percentileMs(std::vector<qint64> latenessUs, double fraction)
{
    if (latenessUs.empty())
        return 0;
    std::sort(latenessUs.begin(), latenessUs.end());
    const auto rank = static_cast<size_t>(std::ceil(fraction * double(latenessUs.size())));
    return double(latenessUs[std::min(latenessUs.size() - 1, rank > 0 ? rank - 1 : 0)]) / 1000.0;
}

// The calling thread's time on a processor and time spent waiting for one, in ns
// (/proc/thread-self/schedstat): a late tick is the thread's own work only when the first
// grew by as much; on a loaded machine the second tells the wait for a free processor.
class ThreadSchedule
{
public:
    ThreadSchedule() : m_fd(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC)) {}
    ~ThreadSchedule()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool read(qint64* runNs, qint64* waitNs) const
    {
        char text[128];
        const ssize_t size = m_fd >= 0 ? ::pread(m_fd, text, sizeof text - 1, 0) : -1;
        if (size <= 0)
            return false;
        text[size] = 0;
        long long run = 0, wait = 0;
        if (std::sscanf(text, "%lld %lld", &run, &wait) != 2)
            return false;
        *runNs = run;
        *waitNs = wait;
        return true;
    }

private:
    int m_fd;
};

struct Tick
{
    qint64 atUs;       // since the click
    qint64 latenessUs; // how much later than 5 ms after the previous tick
    qint64 files;      // files completed by then
    qint64 cpuUs;      // the thread's time on a processor since the previous tick
    qint64 waitUs;     // its time waiting for a processor since the previous tick
    qint64 faults;     // its page faults that read from the device since the previous tick
};

qint64 majorFaults()
{
    rusage usage{};
    return getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_majflt : 0;
}

void printLateness(const char* prefix, const std::vector<Tick>& ticks)
{
    std::vector<qint64> lateness;
    lateness.reserve(ticks.size());
    int over50 = 0;
    qint64 busiestUs = 0;
    for (const Tick& tick : ticks) {
        lateness.push_back(tick.latenessUs);
        over50 += tick.latenessUs > 50000 ? 1 : 0;
        busiestUs = std::max(busiestUs, tick.cpuUs);
    }
    std::printf("%sprobe_ticks=%zu\n", prefix, ticks.size());
    std::printf("%slateness_worst_ms=%.1f\n", prefix, percentileMs(lateness, 1.0));
    std::printf("%slateness_p99_ms=%.1f\n", prefix, percentileMs(lateness, 0.99));
    std::printf("%slateness_p999_ms=%.1f\n", prefix, percentileMs(lateness, 0.999));
    std::printf("%sstalls_over_50ms=%d\n", prefix, over50);
    // The longest the thread itself worked between two ticks, whatever the machine's load.
    std::printf("%sbusiest_gap_cpu_ms=%.1f\n", prefix, double(busiestUs) / 1000.0);
    // Where the worst ones fell, to match them with what the run was doing.
    std::vector<Tick> worst = ticks;
    std::sort(worst.begin(), worst.end(),
              [](const Tick& a, const Tick& b) { return a.latenessUs > b.latenessUs; });
    worst.resize(std::min<size_t>(worst.size(), 8));
    std::printf("%sworst_stalls=", prefix);
    for (const Tick& tick : worst)
        std::printf("%.0fms(cpu%.0f,wait%.0f,faults%lld)@%.0fms/%lldfiles ",
                    double(tick.latenessUs) / 1000.0, double(tick.cpuUs) / 1000.0,
                    double(tick.waitUs) / 1000.0, tick.faults, double(tick.atUs) / 1000.0,
                    tick.files);
    std::printf("\n");
}

// Settings, log and runtime folders of a throw-away home, so that no real setting is read
// or written. Set before Qt looks at the environment.
void useTemporaryHome(const QString& home)
{
    const QByteArray path = QFile::encodeName(home);
    qputenv("HOME", path);
    qputenv("XDG_CONFIG_HOME", path + "/.config");
    qputenv("XDG_DATA_HOME", path + "/.local/share");
    qputenv("XDG_CACHE_HOME", path + "/.cache");
    qputenv("XDG_STATE_HOME", path + "/.local/state");
    qputenv("XDG_RUNTIME_DIR", path + "/run");
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int index = 1; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    QString view = QStringLiteral("copied");
    int timeoutSeconds = 1800;
    int progressPoints = 0;
    for (int index = 2; index + 1 < arguments.size(); ++index) {
        if (arguments[index] == QLatin1String("--view"))
            view = arguments[index + 1];
        else if (arguments[index] == QLatin1String("--timeout"))
            timeoutSeconds = arguments[index + 1].toInt();
        else if (arguments[index] == QLatin1String("--progress-points"))
            progressPoints = arguments[index + 1].toInt();
    }
    if (arguments.size() < 2 ||
        (view != QLatin1String("copied") && view != QLatin1String("none"))) {
        std::fputs("usage: brindle-windowbench SOURCE DESTINATION [--view copied|none] "
                   "[--timeout SECONDS] [--progress-points N]\n",
                   stderr);
        return 2;
    }

    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    useTemporaryHome(home.path());
    QDir().mkpath(home.filePath(QStringLiteral("run")));
    QFile::setPermissions(home.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("QT_QPA_PLATFORM", "offscreen");

    // The program's own start-up (src/app/main.cpp), without the single-instance socket
    // and without its arguments, which would start a copy of their own.
    QApplication app(argc, argv);
    AppSettings::instance();
    QApplication::setApplicationName(ProgramIdentity::programName());
    QApplication::setOrganizationName(ProgramIdentity::organizationName());
    QApplication::setOrganizationDomain(ProgramIdentity::organizationDomain());
    qInstallMessageHandler(Logger::messageHandler);
    AppSettings* settings = AppSettings::instance();
    settings->setUp({QCoreApplication::applicationFilePath()});
    Logger::instance()->setEchoWhileClosed(false);
    Logger::instance()->openFromSettings(*settings);
    FileHash::initialize();
    JobThreadPool::createThreads(settings->maxNumThreads());
    JobThreadPool::startThreads();
    TransferCounters::createInstance();

    int code = 0;
    {
        GuiMainWindow window;
        auto dialogsOwned = std::make_unique<DefaultAnswers>();
        DefaultAnswers* dialogs = dialogsOwned.get();
        window.setDialogs(std::move(dialogsOwned));
        window.setDesktop(std::make_unique<NoDesktop>());
        window.restoreLastTask();
        window.resize(1000, 750);

        auto* from = window.findChild<QLineEdit*>(QStringLiteral("mp_leFrom"));
        auto* to = window.findChild<QLineEdit*>(QStringLiteral("mp_leTo"));
        auto* start = window.findChild<QPushButton*>(QStringLiteral("mp_pbStart"));
        auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("mp_twMain"));
        auto* files = window.findChild<QAbstractItemView*>(QStringLiteral("mp_twFiles"));
        auto* status = window.findChild<QLabel*>(QStringLiteral("mp_statusLabel"));
        auto* bar = window.findChild<QProgressBar*>(QStringLiteral("mp_progress"));
        auto* stats = window.findChild<QLabel*>(QStringLiteral("mp_lStats"));
        auto* remaining = window.findChild<QLabel*>(QStringLiteral("mp_lEndTime"));
        auto* viewButton = window.findChild<QRadioButton*>(view == QLatin1String("copied")
                                                               ? QStringLiteral("mp_rbViewCopied")
                                                               : QStringLiteral("mp_rbViewNone"));
        if (!from || !to || !start || !tabs || !files || !status || !viewButton || !bar || !stats ||
            !remaining) {
            std::fputs("windowbench: a widget of the window was not found\n", stderr);
            return 2;
        }
        from->setText(arguments[0]);
        to->setText(arguments[1]);
        // The list is painted only where it is on screen: its tab, when the window shows it.
        int reportTab = -1;
        for (int index = 0; index < tabs->count(); ++index)
            if (tabs->widget(index)->isAncestorOf(files))
                reportTab = index;
        const bool reportShown = reportTab >= 0 && tabs->isTabVisible(reportTab);
        if (reportShown)
            tabs->setCurrentIndex(reportTab);
        window.show();
        {
            QEventLoop settle;
            QTimer::singleShot(300, &settle, &QEventLoop::quit);
            settle.exec();
        }

        RunController* task = window.controller();
        QElapsedTimer clock;
        std::vector<Tick> runTicks;
        std::vector<Tick> fillTicks;
        runTicks.reserve(1 << 20);
        fillTicks.reserve(1 << 18);
        qint64 lastTickUs = -1;
        const ThreadSchedule schedule;
        qint64 lastRunNs = 0;
        qint64 lastWaitNs = 0;
        qint64 lastFaults = 0;
        QDateTime clickTime;
        qint64 completedUs = -1;
        qint64 engineElapsedMs = -1;
        qint64 rssCompleted = -1;
        int lastRows = -1;
        qint64 rowsChangedUs = 0;
        QString fillEnd;
        const qint64 rssBefore = residentKiB();

        QEventLoop loop;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        probe.setInterval(5);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed() / 1000;
            qint64 runNs = lastRunNs;
            qint64 waitNs = lastWaitNs;
            schedule.read(&runNs, &waitNs);
            const qint64 faults = majorFaults();
            if (lastTickUs >= 0) {
                const Tick tick{now,
                                std::max<qint64>(0, now - lastTickUs - 5000),
                                task->counter(FilesCompleted),
                                (runNs - lastRunNs) / 1000,
                                (waitNs - lastWaitNs) / 1000,
                                faults - lastFaults};
                (completedUs < 0 ? runTicks : fillTicks).push_back(tick);
            }
            lastTickUs = now;
            lastRunNs = runNs;
            lastWaitNs = waitNs;
            lastFaults = faults;
        });
        QObject::connect(task, &RunController::taskCompleted, [&] {
            completedUs = clock.nsecsElapsed() / 1000;
            engineElapsedMs = task->elapsedMs();
            rssCompleted = residentKiB();
            rowsChangedUs = completedUs;
        });
        // The list is filled once the status says "Ready", or once its row count stayed
        // the same for a second after the run.
        QTimer fillCheck;
        fillCheck.setInterval(50);
        QObject::connect(&fillCheck, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed() / 1000;
            if (now > qint64(timeoutSeconds) * 1000000) {
                fillEnd = QStringLiteral("timeout");
                loop.quit();
                return;
            }
            if (completedUs < 0)
                return;
            const int rows = files->model()->rowCount();
            if (rows != lastRows) {
                lastRows = rows;
                rowsChangedUs = now;
            }
            if (status->text() == QLatin1String("Ready"))
                fillEnd = QStringLiteral("ready");
            else if (now - rowsChangedUs >= 1000000)
                fillEnd = QStringLiteral("stable");
            if (!fillEnd.isEmpty())
                loop.quit();
        });
        // The destination is walked off the probe's ticks, every 50 ms, only when asked.
        std::vector<ProgressPoint> points;
        QTimer progressCheck;
        progressCheck.setInterval(50);
        QObject::connect(&progressCheck, &QTimer::timeout, [&] {
            const qint64 total = task->counter(BytesToCopy);
            if (completedUs >= 0 || !task->isFileListCompleted() || total <= 0 ||
                int(points.size()) >= progressPoints)
                return;
            const qint64 disk = bytesOnDisk(arguments[1]);
            // The points sit in the middle of each N-th: 5 %, 15 %, … 95 % for 10.
            if (disk * 2 * progressPoints < total * (2 * qint64(points.size()) + 1))
                return;
            ProgressPoint point;
            point.atUs = clock.nsecsElapsed() / 1000;
            point.diskBytes = disk;
            point.engineBytes = task->counter(BytesCompleted);
            for (const TransferCounters::FileProgress& file : TransferCounters::instance()->files())
                if (!file.finished)
                    point.inFlightBytes += file.bytesCopied;
            point.totalBytes = total;
            point.bar = bar->value();
            point.stats = plainText(stats->text());
            point.remaining = plainText(remaining->text());
            points.push_back(point);
        });
        // The click runs inside the loop, so that the probe sees its own cost too.
        QTimer::singleShot(0, &loop, [&] {
            clock.start();
            clickTime = QDateTime::currentDateTime();
            probe.start();
            fillCheck.start();
            if (progressPoints > 0)
                progressCheck.start();
            start->click();
        });
        // The paths are checked off the window's thread; a run starts with no list chosen,
        // and the user picks one while it goes.
        QObject::connect(window.runPresenter(), &RunPresenter::runStarting, &loop, [&] {
            if (!viewButton->isChecked())
                viewButton->click();
        });
        QObject::connect(window.runPresenter(), &RunPresenter::pathsChecked, &loop,
                         [&](bool accepted) {
                             if (accepted)
                                 return;
                             std::fputs("windowbench: the run did not start\n", stderr);
                             fillEnd = QStringLiteral("not-started");
                             loop.quit();
                         });
        loop.exec();
        probe.stop();
        fillCheck.stop();
        progressCheck.stop();

        const qint64 endUs = clock.nsecsElapsed() / 1000;
        const qint64 rssAfter = residentKiB();
        const int rows = files->model()->rowCount();
        std::printf("view=%s\n", qPrintable(view));
        std::printf("report_tab=%s\n", reportShown ? "shown" : "hidden");
        std::printf("threads=%d\n", JobThreadPool::threadCount());
        std::printf("files_completed=%lld\n", task->counter(FilesCompleted));
        std::printf("errors=%lld\n", task->counter(ErrorItems));
        std::printf("questions=%d\n", dialogs->questions);
        // The run is timed from the start the copy task records to taskCompleted.
        const qint64 startedMs = clickTime.msecsTo(task->startTime());
        std::printf("click_to_start_ms=%lld\n", startedMs);
        std::printf("run_ms=%.1f\n", double(completedUs) / 1000.0 - double(startedMs));
        std::printf("engine_elapsed_ms=%lld\n", engineElapsedMs);
        std::printf("click_to_completed_ms=%.1f\n", double(completedUs) / 1000.0);
        std::printf("fill_ms=%.1f\n", double(endUs - completedUs) / 1000.0);
        std::printf("fill_end=%s\n", qPrintable(fillEnd));
        printLateness("", runTicks);
        printLateness("fill_", fillTicks);
        std::printf("rows=%d\n", rows);
        std::printf("rss_before_kib=%lld\n", rssBefore);
        std::printf("rss_completed_kib=%lld\n", rssCompleted);
        std::printf("rss_after_kib=%lld\n", rssAfter);
        if (rows > 0) {
            std::printf("bytes_per_row=%.0f\n", double(rssAfter - rssBefore) * 1024.0 / rows);
            std::printf("bytes_per_row_after_run=%.0f\n",
                        double(rssAfter - rssCompleted) * 1024.0 / rows);
        } else {
            std::printf("bytes_per_row=n/a\n");
        }
        if (rows > 0)
            measureListActions(&window, tabs, reportTab, files);
        for (const ProgressPoint& point : points)
            std::printf("progress_point=%.1f|%lld|%lld|%lld|%lld|%d|%s|%s|%.1f\n",
                        double(point.atUs) / 1e6, point.diskBytes, point.engineBytes,
                        point.inFlightBytes, point.totalBytes, point.bar,
                        qUtf8Printable(point.stats), qUtf8Printable(point.remaining),
                        double(completedUs - point.atUs) / 1e6);
        std::fflush(stdout);
        if (completedUs < 0 || fillEnd == QLatin1String("timeout") ||
            fillEnd == QLatin1String("not-started"))
            code = 1;
        window.closeWithoutAsking();
        window.waitForRunToEnd();
    }
    JobThreadPool::destroyThreads();
    TransferCounters::destroyInstance();
    AppSettings::destroyInstance();
    Logger::destroyInstance();
    qInstallMessageHandler(nullptr);
    return code;
}
