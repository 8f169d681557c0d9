#pragma once

#include "fs/platform.h"
#include "model/copyitem.h"

#include <QHash>
#include <QList>
#include <QString>

// What a resume knows of the run it goes on with: the items of its task file and how each
// ended. The list tells what was done, not what exists: a resume walks the source and the
// destination again, as a new run with the same options would, and this tells that walk
// which files it may leave as they are, which refusals stay, and counts what changed since.
// Lives on the run's thread; the walk gets a copy of its Hints.
class EarlierRun
{
public:
    // What the walk of a resume is handed.
    struct Hints
    {
        // Source -> the path of its copy: files and links an earlier run finished, whose
        // copy is left as it is while it still agrees with the source (copy and verify; a
        // move removed what it finished, and a file back in the source is handled anew).
        QHash<QString, QString> finished;
        // Sources a move refused for a name another source took: the other source is gone
        // from the source by now, and its copy would be replaced.
        QHash<QString, CopyItem> refused;
    };

    // Takes the items and folders of a run about to be resumed in copyMode; stopped: how
    // that run ended (1 stopped, 0 completed, -1 unknown: then items left unfinished tell).
    void take(const QList<CopyItem>& items, const QList<CopyItem>& folders, int copyMode,
              int stopped);
    // A walk given up (stopped) leaves a partial list, which a resume would not trust: the
    // earlier run's items come back instead, with what this run finished in their place.
    void restore(QList<CopyItem>* items, QList<CopyItem>* folders) const;
    void clear();
    bool isActive() const { return m_active; }
    const Hints& hints() const { return m_hints; }
    // The earlier run was stopped with items left: the resume goes on with it, and what it
    // finished counts in this run's figures as it ended there (and its time goes on). A
    // resume of a finished run reports only what it does itself.
    bool carries() const { return m_carries; }
    // The item as the earlier run finished it (an empty one when it did not).
    CopyItem finishedItem(const QString& source) const { return m_finished.value(source); }
    // A move took the first name of source's file before the stop: the later names left in
    // the source are linked to its copy, as they would have been. Empty when it did not.
    QString movedFirstName(const QString& source) const { return m_movedFirsts.value(source); }
    // That first name's item, once (an empty one after): the walk does not meet it.
    CopyItem takeMoved(const QString& first);

    // Whether the entry at copy still agrees with the source of that status, as a finished
    // copy left it: a regular file of the same size and modification time (the time step of
    // both file systems allowed), or a FIFO, socket or device node for one. One status read
    // of the copy, no content: what a resume with nothing changed costs per file.
    static bool copyAgrees(const QString& source, const Platform::EntryStatus& status,
                           const QString& copy);
    // The same for a symbolic link: the link at copy holds that text.
    static bool linkAgrees(const QString& copy, const QString& text);

    // The walk met source; handled: it gives the run something to do (copy, check, an error)
    // rather than leaving it. A source no earlier run knew, or one finished that is handled
    // again, is a change.
    void met(const QString& source, bool handled);
    // The walk ended: what it did not meet is gone from the source since (for a move, only
    // what the move had not taken itself). Returns the changes found, and lets go of the
    // items; when it carries, *moved receives the files a move took before the stop.
    qint64 walkEnded(QList<CopyItem>* moved = nullptr);
    qint64 changes() const { return m_changes; }

private:
    bool m_active = false;
    bool m_move = false;
    bool m_carries = false;
    // A list with nothing finished (a file of the items left alone) knows nothing of the
    // files it does not hold: meeting one is no change.
    bool m_knowsFinished = false;
    Hints m_hints;
    QHash<QString, CopyItem> m_finished;
    QHash<QString, QString> m_movedFirsts;
    QList<CopyItem> m_items;
    QList<CopyItem> m_folders;
    // Source -> how the earlier run left it (CopyState), for the items not met yet.
    QHash<QString, int> m_unmet;
    qint64 m_changes = 0;
};
