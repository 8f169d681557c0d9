#include "manifestcheckdialog.h"

#include "app/programidentity.h"
#include "fs/filenamecodec.h"
#include "manifestcheckmodel.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

ManifestCheckDialog::ManifestCheckDialog(const QString& listPath, const QString& folder,
                                         const QMap<ManifestCheck::Outcome, int>& counts,
                                         QVector<ManifestCheck::Result> notEqual, QWidget* parent)
    : QDialog(parent), mp_model(new ManifestCheckModel(this)), mp_view(new QTreeView(this))
{
    setObjectName(QStringLiteral("ManifestCheckDialog"));
    setWindowTitle(tr("Checksum list check - %1").arg(ProgramIdentity::programName()));

    // Names are never markup, and may hold anything but a slash and a null.
    auto* where =
        new QLabel(tr("Checksum list: %1\nFolder: %2")
                       .arg(FileNameCodec::visibleText(QDir::toNativeSeparators(listPath)),
                            FileNameCodec::visibleText(QDir::toNativeSeparators(folder))),
                   this);
    where->setTextFormat(Qt::PlainText);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    where->setWordWrap(true);
    auto* summary = new QLabel(summaryText(counts), this);
    summary->setObjectName(QStringLiteral("mp_summaryLabel"));
    summary->setTextFormat(Qt::PlainText);
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    mp_model->setResults(std::move(notEqual));
    mp_view->setObjectName(QStringLiteral("mp_resultView"));
    mp_view->setModel(mp_model);
    mp_view->setRootIsDecorated(false);
    mp_view->setItemsExpandable(false);
    // Every row one line high: the view then lays out a long list at once.
    mp_view->setUniformRowHeights(true);
    mp_view->setAlternatingRowColors(true);
    mp_view->setAllColumnsShowFocus(true);
    mp_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    mp_view->setSortingEnabled(true);
    mp_view->sortByColumn(0, Qt::AscendingOrder);
    mp_view->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    mp_view->header()->resizeSection(1, 420);
    summary->setBuddy(mp_view);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(tr("Close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(where);
    layout->addWidget(summary);
    layout->addWidget(mp_view, 1);
    layout->addWidget(buttons);
    resize(760, 480);
}

QString ManifestCheckDialog::summaryText(const QMap<ManifestCheck::Outcome, int>& counts)
{
    using O = ManifestCheck::Outcome;
    QString text = tr("%1 equal, %2 missing, %3 differing, %4 unreadable, %5 not listed")
                       .arg(counts.value(O::Equal))
                       .arg(counts.value(O::Missing))
                       .arg(counts.value(O::Differs))
                       .arg(counts.value(O::Unreadable))
                       .arg(counts.value(O::NotListed));
    const int malformed = counts.value(O::Malformed);
    if (malformed > 0)
        text += QLatin1Char('\n') +
                tr("Lines of the checksum list that are no checksum lines: %1").arg(malformed);
    return text;
}
