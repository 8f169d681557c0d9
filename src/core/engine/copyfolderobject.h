#pragma once

#include "engine/copyobject.h"

// Creates the destination of one folder item. Folder dates and the removal of moved
// source folders are left to the folder sync at the end of the run.
class CopyFolderObject : public CopyObject
{
    Q_OBJECT

public:
    explicit CopyFolderObject(QObject* parent = nullptr);

public slots:
    void startCopy() override;
};
