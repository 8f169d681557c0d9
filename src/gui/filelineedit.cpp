#include "filelineedit.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

FileLineEdit::FileLineEdit(QWidget* parent) : QLineEdit(parent) {}

void FileLineEdit::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
        return;
    }
    QLineEdit::dragEnterEvent(event);
}

void FileLineEdit::dragMoveEvent(QDragMoveEvent* event)
{
    // The line edit itself only follows plain text; a list of items stays accepted all the
    // way across the field.
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
        return;
    }
    QLineEdit::dragMoveEvent(event);
}

void FileLineEdit::dropEvent(QDropEvent* event)
{
    const QMimeData* mimeData = event->mimeData();
    if (!mimeData->hasUrls()) {
        QLineEdit::dropEvent(event);
        return;
    }
    const QList<QUrl> urls = mimeData->urls();
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        setText(QDir::toNativeSeparators(url.toLocalFile()));
        event->acceptProposedAction();
        return;
    }
    event->ignore();
}
