#pragma once

#include "engine/copyobject.h"

// Creates the destination of one folder item (in a verify, checks that it exists), private to
// its owner. Folder dates, mode, owner and attributes, and the removal of moved source folders
// are left to the folder sync at the end of the run.
class CopyFolderObject : public CopyObject
{
    Q_OBJECT

public:
    explicit CopyFolderObject(QObject* parent = nullptr);

    // A verify only compares: a missing destination folder is an error, never created.
    bool m_verifyOnly = false;

public slots:
    void startCopy() override;
};
