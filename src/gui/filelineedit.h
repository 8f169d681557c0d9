#pragma once

#include <QLineEdit>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;

// A path field that takes a file or folder dragged from the file manager: the first local
// item of the drop becomes its text, in the separators of the platform. Web links in the
// same drop are passed over; a drop with no local item leaves the field as it was.
class FileLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit FileLineEdit(QWidget* parent = nullptr);

    // Public so that a drop can be fed to the field without a drag-and-drop session.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};
