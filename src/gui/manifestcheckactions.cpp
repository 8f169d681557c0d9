#include "manifestcheckactions.h"

#include "dialogs.h"
#include "engine/manifest.h"
#include "fs/filenamecodec.h"
#include "manifestcheckdialog.h"
#include "windowseams.h"
#include "windowworker.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>

// Shared with the worker's thread.
struct ManifestCheckActions::State
{
    ManifestCheck::Progress progress;
    std::atomic_int listed{0};
};

// What the worker found: an error message, or the counts and the results that are not equal.
struct ManifestCheckActions::Outcome
{
    QString listPath;
    QString folder;
    QString error;
    bool cancelled = false;
    QMap<ManifestCheck::Outcome, int> counts;
    QVector<ManifestCheck::Result> notEqual;
};

namespace {

QString shown(const QString& path)
{
    return FileNameCodec::visibleText(QDir::toNativeSeparators(path));
}

} // namespace

ManifestCheckActions::ManifestCheckActions(WindowSeams* seams, WindowWorker* worker,
                                           QStatusBar* statusBar, QObject* parent)
    : QObject(parent), mp_seams(seams), mp_worker(worker), mp_statusLabel(new QLabel(statusBar))
{
    mp_statusLabel->setObjectName(QStringLiteral("mp_manifestCheckLabel"));
    mp_statusLabel->setTextFormat(Qt::PlainText);
    statusBar->addPermanentWidget(mp_statusLabel);
    mp_statusLabel->hide();
    m_progressTimer.setInterval(250);
    connect(&m_progressTimer, &QTimer::timeout, this, &ManifestCheckActions::showProgress);
}

ManifestCheckActions::~ManifestCheckActions()
{
    cancel();
}

void ManifestCheckActions::setAction(QAction* action)
{
    mp_action = action;
}

ManifestCheckDialog* ManifestCheckActions::resultDialog() const
{
    return mp_dialog;
}

void ManifestCheckActions::cancel()
{
    if (mp_state)
        mp_state->progress.cancel = true;
}

void ManifestCheckActions::checkManifest()
{
    if (isChecking())
        return;
    Dialogs* dialogs = mp_seams->dialogs();
    const QString listPath = dialogs->openFileName(
        mp_seams->window(), tr("Checksum list to check"),
        m_lastFolder.isEmpty() ? QDir::homePath() : m_lastFolder,
        tr("Checksum lists (*.sha256 *.sha256sum *.b2 *.b2sum *.xxh128 *SUMS *sums *.txt);;"
           "All files (*)"));
    if (listPath.isEmpty())
        return;
    // Without a file-system call: the picker gives an absolute path.
    m_lastFolder = QFileInfo(listPath).absolutePath();
    const QString folder =
        dialogs->existingFolder(mp_seams->window(), tr("Folder to check"), m_lastFolder);
    if (folder.isEmpty())
        return;
    start(listPath, folder);
}

void ManifestCheckActions::start(const QString& listPath, const QString& folder)
{
    auto state = std::make_shared<State>();
    mp_state = state;
    if (mp_action)
        mp_action->setEnabled(false);
    mp_statusLabel->setText(tr("Checking against the checksum list..."));
    mp_statusLabel->show();
    m_progressTimer.start();
    mp_worker->runAlongside<Outcome>(
        [state, listPath, folder] {
            Outcome outcome;
            outcome.listPath = listPath;
            outcome.folder = folder;
            ManifestCheck check;
            QString error;
            if (!check.load(listPath, &error)) {
                outcome.error =
                    tr("The checksum list %1 cannot be read:\n%2").arg(shown(listPath), error);
                return outcome;
            }
            if (!QFileInfo(folder).isDir()) {
                outcome.error = tr("The folder %1 does not exist.").arg(shown(folder));
                return outcome;
            }
            state->listed = check.size();
            // From the device, not the cache: the list proves what the disk holds.
            const QList<ManifestCheck::Result> results =
                check.check(folder, true, &state->progress);
            outcome.cancelled = state->progress.cancel;
            outcome.counts = ManifestCheck::counts(results);
            for (const ManifestCheck::Result& result : results) {
                if (result.outcome != ManifestCheck::Outcome::Equal)
                    outcome.notEqual.append(result);
            }
            return outcome;
        },
        [this](const Outcome& outcome) { finish(outcome); });
}

void ManifestCheckActions::showProgress()
{
    if (!mp_state || mp_state->listed == 0)
        return;
    mp_statusLabel->setText(tr("Checking against the checksum list: %1 of %2 files")
                                .arg(mp_state->progress.checked.load())
                                .arg(mp_state->listed.load()));
}

void ManifestCheckActions::finish(const Outcome& outcome)
{
    const bool cancelled = outcome.cancelled || mp_state->progress.cancel;
    mp_state.reset();
    m_progressTimer.stop();
    mp_statusLabel->hide();
    if (mp_action)
        mp_action->setEnabled(true);
    if (cancelled) {
        emit finished();
        return;
    }
    if (!outcome.error.isEmpty()) {
        mp_seams->warn(outcome.error);
    } else if (outcome.notEqual.isEmpty()) {
        mp_seams->inform(
            tr("All files of the checksum list are equal in %1.\n%2")
                .arg(shown(outcome.folder), ManifestCheckDialog::summaryText(outcome.counts)));
    } else {
        // One result at a time: a new check replaces the dialog of the last.
        if (mp_dialog)
            mp_dialog->deleteLater();
        mp_dialog = new ManifestCheckDialog(outcome.listPath, outcome.folder, outcome.counts,
                                            outcome.notEqual, mp_seams->window());
        mp_dialog->setAttribute(Qt::WA_DeleteOnClose);
        mp_dialog->show();
    }
    emit finished();
}
