#pragma once

#include "engine/destinationanchor.h"
#include "jobs/processjob.h"
#include "model/copyitem.h"

#include <QString>

// Copies one item by running the external copy program. The job is itself the item it
// copies: Copied from the start, DestinationError with the program's name and the text of
// the first error. It finishes exactly once, on the first error or at the program's end,
// whatever order they arrive in; later errors are logged but leave the item alone, since
// its owner may already be reading it.
class ExternalCopyJob : public ProcessJob, public CopyItem
{
    Q_OBJECT

public:
    explicit ExternalCopyJob(QObject* parent = nullptr);

    void setItem(const CopyItem& item);
    CopyItem item() const;
    // A move: once the program has copied a file and its copy holds the same bytes, the
    // job removes the source.
    void setMovesSource(bool moves) { m_movesSource = moves; }
    // A copy made once the destination's drive went away is an error, its source kept.
    void setDestinationAnchor(const DestinationAnchor& anchor) { m_anchor = anchor; }
    // The run's destination folder: a symbolic link on the way to the copy, or in its
    // place, is never handed to the program (it would write through it).
    void setDestinationRoot(const QString& root) { m_root = root; }
    bool destinationLost() const { return m_destinationLost; }

public slots:
    void startJob() override;
    void onErrorOccurred(const QString& copy_error);

protected:
    void finishJob() override;

private:
    // The program's exit code proves nothing: the copy must be there, a regular file of the
    // source's size (a folder for a folder, an entry for a link).
    void checkCopy();
    void removeMovedSource();

    bool m_movesSource = false;
    // Why the destination may not be handed to the program; empty when it may.
    QString linkRefusal() const;

    DestinationAnchor m_anchor;
    QString m_root;
    bool m_destinationLost = false;
};
