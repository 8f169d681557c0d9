#include "queuepresenter.h"

#include "app/appsettings.h"
#include "desktop.h"
#include "engine/copytask.h"
#include "engine/taskfilestore.h"
#include "fs/filesystemutils.h"
#include "fs/platformcopy.h"
#include "queue/queuechannel.h"
#include "queue/queuestore.h"
#include "queue/runqueue.h"
#include "queuemodel.h"
#include "taskform.h"
#include "windowseams.h"
#include "windowworker.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QJsonArray>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>

namespace {

// The reply of the queue's runner, or of the stored queue when no runner is up (a runner
// that is starting is waited for by the call that needs it). Off the window's thread.
QJsonObject sendRequest(const QString& dataFolder, const QString& socketName,
                        const QJsonObject& request, bool* live = nullptr)
{
    QJsonObject reply;
    if (live)
        *live = true;
    if (QueueChannel::request(socketName, request, &reply, 2000))
        return reply;
    if (live)
        *live = false;
    RunQueue stored(dataFolder, QString());
    if (stored.open(false))
        return stored.handle(request);
    return QJsonObject{
        {"ok", false},
        {"error", QCoreApplication::translate("QueuePresenter", "The queue does not answer.")}};
}

} // namespace

QueuePresenter::QueuePresenter(QTabWidget* tabs, QBoxLayout* runButtons, WindowSeams* seams,
                               WindowWorker* worker, TaskForm* form, Gate gate, QObject* parent)
    : QObject(parent), mp_seams(seams), mp_worker(worker), mp_form(form), m_gate(std::move(gate))
{
    m_dataFolder = AppSettings::instance()->dataFolder();
    m_socketName = QueueChannel::socketName(m_dataFolder);

    auto* add = new QPushButton(tr("Add to &queue"));
    add->setObjectName(QStringLiteral("mp_pbAddToQueue"));
    add->setToolTip(tr("Adds the task to the queue of runs, which runs it when the runs before "
                       "it on its disks are through."));
    auto* menu = new QMenu(add);
    menu->addAction(tr("Copy"), this, [this] { addToQueue(CopyOptions::Copy); });
    menu->addAction(tr("Move"), this, [this] { addToQueue(CopyOptions::Move); });
    menu->addAction(tr("Verify"), this, [this] { addToQueue(CopyOptions::Verify); });
    add->setMenu(menu);
    runButtons->addWidget(add);

    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("mp_queuePage"));
    auto* layout = new QVBoxLayout(page);
    mp_model = new QueueModel(this);
    mp_view = new QTableView(page);
    mp_view->setObjectName(QStringLiteral("mp_queueView"));
    mp_view->setModel(mp_model);
    mp_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    mp_view->setSelectionMode(QAbstractItemView::SingleSelection);
    mp_view->verticalHeader()->hide();
    // A single selection has nothing to select all; the corner's button stays, named.
    mp_view->setCornerButtonEnabled(false);
    mp_view->setAccessibleName(tr("Queued runs"));
    const QList<QAbstractButton*> corner =
        mp_view->findChildren<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    for (QAbstractButton* button : corner)
        button->setAccessibleName(tr("Corner of the queued runs"));
    mp_view->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(mp_view);
    auto* buttons = new QHBoxLayout;
    const QList<QPair<QString, QString>> actions = {
        {"pause", tr("&Pause")},   {"continue", tr("C&ontinue")}, {"stop", tr("&Stop")},
        {"remove", tr("&Remove")}, {"up", tr("Move &up")},        {"down", tr("Move &down")}};
    for (const auto& action : actions) {
        auto* button = new QPushButton(action.second, page);
        button->setObjectName(QStringLiteral("mp_pbQueue_%1").arg(action.first));
        const QString request = action.first;
        connect(button, &QPushButton::clicked, this, [this, request] { control(request); });
        buttons->addWidget(button);
    }
    buttons->addStretch();
    layout->addLayout(buttons);
    tabs->addTab(page, tr("Queue"));

    m_refresh.setInterval(1000);
    connect(&m_refresh, &QTimer::timeout, this, &QueuePresenter::refresh);
    m_refresh.start();
    QTimer::singleShot(0, this, &QueuePresenter::refresh);
}

QString QueuePresenter::runnerProgram() const
{
    if (!m_runnerProgram.isEmpty())
        return m_runnerProgram;
    // Installed beside the window; in the build tree, in the folder beside its own.
    const QString folder = QCoreApplication::applicationDirPath();
    for (const QString& path : {folder + QStringLiteral("/brindle-cli"),
                                folder + QStringLiteral("/../cli/brindle-cli")}) {
        if (QFileInfo(path).isExecutable())
            return QFileInfo(path).canonicalFilePath();
    }
    return QStringLiteral("brindle-cli");
}

void QueuePresenter::refresh()
{
    // One read at a time: a runner that is slow to answer is not asked again meanwhile.
    if (m_reading || m_dataFolder.isEmpty())
        return;
    m_reading = true;
    const QString dataFolder = m_dataFolder;
    const QString socketName = m_socketName;
    mp_worker->runDetached<Snapshot>(
        [dataFolder, socketName] {
            Snapshot snapshot;
            QJsonObject reply;
            if (QueueChannel::request(socketName, QJsonObject{{"request", "list"}}, &reply, 2000)) {
                for (const QJsonValue& value : reply.value(QStringLiteral("runs")).toArray()) {
                    QueuedRun run;
                    if (QueuedRun::fromJson(value.toObject(), &run))
                        snapshot.runs.append(run);
                }
            } else {
                // Read only, without the lock: nothing is running to change it but a start.
                snapshot.runs = QueueStore(dataFolder).load();
            }
            snapshot.read = true;
            return snapshot;
        },
        [this](const Snapshot& snapshot) { show(snapshot); });
}

void QueuePresenter::show(const Snapshot& snapshot)
{
    m_reading = false;
    if (!snapshot.read)
        return;
    notifyEnds(snapshot.runs);
    mp_model->setRuns(snapshot.runs);
    emit refreshed();
}

void QueuePresenter::notifyEnds(const QList<QueuedRun>& runs)
{
    bool pendingBefore = false;
    for (const QueuedRun::State state : qAsConst(m_shownStates)) {
        QueuedRun run;
        run.m_state = state;
        pendingBefore = pendingBefore || run.isPending();
    }
    bool pendingNow = false;
    QHash<QString, QueuedRun::State> states;
    for (const QueuedRun& run : runs) {
        states.insert(run.m_id, run.m_state);
        pendingNow = pendingNow || run.isPending();
        const auto before = m_shownStates.constFind(run.m_id);
        // Only ends this window saw happen: a window opened later does not repeat them.
        if (!m_shownOnce || before == m_shownStates.cend() || before.value() == run.m_state)
            continue;
        QueuedRun previous;
        previous.m_state = before.value();
        if (!previous.isPending() || run.isPending())
            continue;
        mp_seams->desktop()->notify(
            tr("Queued run %1").arg(QueueModel::stateText(run.m_state).toLower()),
            tr("%1 → %2").arg(run.m_source, run.m_destination), nullptr);
    }
    if (m_shownOnce && pendingBefore && !pendingNow)
        mp_seams->desktop()->notify(tr("The queue is done"), tr("No run is left in the queue."),
                                    nullptr);
    m_shownStates = states;
    m_shownOnce = true;
}

void QueuePresenter::control(const QString& request)
{
    const QModelIndexList rows = mp_view->selectionModel()->selectedRows();
    if (rows.isEmpty() || rows.first().row() >= mp_model->runs().size()) {
        mp_seams->setStatusText(tr("Select a run of the queue first."));
        return;
    }
    const QString id = mp_model->runs().at(rows.first().row()).m_id;
    const QString dataFolder = m_dataFolder;
    const QString socketName = m_socketName;
    mp_worker->runDetached<QJsonObject>(
        [dataFolder, socketName, request, id] {
            return sendRequest(dataFolder, socketName, {{"request", request}, {"id", id}});
        },
        [this, request, id](const QJsonObject& reply) {
            if (!reply.value(QStringLiteral("ok")).toBool())
                mp_seams->setStatusText(reply.value(QStringLiteral("error")).toString());
            refresh();
            // The moved run stays selected.
            for (int row = 0; row < mp_model->runs().size(); ++row) {
                if (mp_model->runs().at(row).m_id == id &&
                    (request == QLatin1String("up") || request == QLatin1String("down")))
                    mp_view->selectRow(row + (request == QLatin1String("up") ? -1 : 1));
            }
        });
}

void QueuePresenter::addToQueue(int copyMode)
{
    Task task = mp_form->task();
    task.m_options.m_copyMode = copyMode;
    const auto add = [this](const Task& checked) {
        const QString dataFolder = m_dataFolder;
        const QString socketName = m_socketName;
        struct Added
        {
            QJsonObject reply;
            bool startRunner = false;
        };
        mp_worker->runDetached<Added>(
            [dataFolder, socketName, checked] {
                Added added;
                Task queued = checked;
                queued.updateName();
                QString refusal =
                    CopyTask::pathsRefusal(queued.m_sourcePath, queued.m_destinationPath);
                if (refusal.isEmpty() && !QFileInfo::exists(queued.m_sourcePath))
                    refusal = QCoreApplication::translate("QueuePresenter", "Unable to find '%1'.")
                                  .arg(queued.m_sourcePath);
                if (!refusal.isEmpty()) {
                    added.reply = {{"ok", false}, {"error", refusal}};
                    return added;
                }
                const QFileInfo source(queued.m_sourcePath);
                PlatformCopy::Failure failure;
                // As a run makes it: a folder's destination before the run opens it.
                if (queued.m_options.m_copyMode != CopyOptions::Verify &&
                    FileSystemUtils::isRealDirectory(source) &&
                    !PlatformCopy::createFolders(queued.m_destinationPath, &failure)) {
                    added.reply = {
                        {"ok", false},
                        {"error", QCoreApplication::translate(
                                      "QueuePresenter", "Unable to create destination folder '%1'.")
                                      .arg(queued.m_destinationPath)}};
                    return added;
                }
                QueueStore store(dataFolder);
                QueuedRun run;
                run.m_id = QueueStore::newId();
                run.m_taskFile = store.taskFilePath(run.m_id);
                static const char* const modes[] = {"copy", "move", "verify", "copy"};
                run.m_mode = QString::fromLatin1(modes[qBound(0, queued.m_options.m_copyMode, 3)]);
                run.m_source = queued.m_sourcePath;
                run.m_destination = queued.m_destinationPath;
                if (!store.makeFolder() ||
                    !TaskFileStore::saveTaskDefinition(run.m_taskFile, queued)) {
                    added.reply = {{"ok", false},
                                   {"error", QCoreApplication::translate(
                                                 "QueuePresenter",
                                                 "Unable to write the queue's task file '%1'.")
                                                 .arg(run.m_taskFile)}};
                    return added;
                }
                bool live = false;
                added.reply = sendRequest(dataFolder, socketName,
                                          {{"request", "add"}, {"run", run.toJson()}}, &live);
                added.startRunner = !live;
                return added;
            },
            [this](const Added& added) {
                if (!added.reply.value(QStringLiteral("ok")).toBool()) {
                    mp_seams->warn(added.reply.value(QStringLiteral("error")).toString());
                    return;
                }
                mp_seams->setStatusText(tr("Added to the queue."));
                // No process runs the queue: one is started, which stays until it is empty.
                if (added.startRunner && !mp_seams->desktop()->startDetached(
                                             runnerProgram(), {"queue", "run", "--quiet"}))
                    mp_seams->warn(tr("Unable to start %1 to run the queue.").arg(runnerProgram()));
                refresh();
            });
    };
    if (m_gate)
        m_gate(task, add);
    else
        add(task);
}
