#pragma once

#include "engine/manifest.h"

#include <QDialog>
#include <QMap>
#include <QVector>

class ManifestCheckModel;
class QLabel;
class QTreeView;

// The outcome of a checksum-list check that found something other than equal files: which
// list and folder, a count of each outcome, and a sortable table of the files not equal.
class ManifestCheckDialog : public QDialog
{
    Q_OBJECT

public:
    ManifestCheckDialog(const QString& listPath, const QString& folder,
                        const QMap<ManifestCheck::Outcome, int>& counts,
                        QVector<ManifestCheck::Result> notEqual, QWidget* parent = nullptr);

    // "3 equal, 1 missing, 0 differing, 0 unreadable, 2 not listed", and the lines of the
    // list that are no checksum lines, if any.
    static QString summaryText(const QMap<ManifestCheck::Outcome, int>& counts);

    ManifestCheckModel* model() const { return mp_model; }

private:
    ManifestCheckModel* mp_model;
    QTreeView* mp_view;
};
