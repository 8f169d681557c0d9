#include "guisettingsdialog.h"

#include "ui_guisettingsdialog.h"

#include "accessiblenames.h"
#include "app/appsettings.h"
#include "app/programidentity.h"
#include "desktop.h"
#include "dialogs.h"
#include "fs/pathutils.h"
#include "mainwindowrules.h"
#include "model/externalprogramsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <initializer_list>

namespace {

constexpr qint64 BytesPerMegabyte = 1048576;
constexpr int SkipCheckBound = 9999;
constexpr int LogMinimumBound = 999;
constexpr int LogMaximumBound = 9999;

// The window's seam around the dialog. The window may go before it: the dialog is its
// child, so it is only deleted here while it still exists.
class Preferences : public GuiMainWindow::PreferencesDialog
{
public:
    Preferences(Dialogs* dialogs, Desktop* desktop, QWidget* parent)
        : mp_dialog(new GuiSettingsDialog(dialogs, desktop, parent))
    {
    }
    ~Preferences() override { delete mp_dialog.data(); }

    void loadSettings() override { mp_dialog->loadFromSettings(); }
    bool exec() override
    {
        mp_dialog->show();
        mp_dialog->setFixedSize(mp_dialog->size());
        return mp_dialog->exec() == QDialog::Accepted;
    }
    void storeSettings() override { mp_dialog->storeToSettings(); }

private:
    QPointer<GuiSettingsDialog> mp_dialog;
};

} // namespace

GuiSettingsDialog::GuiSettingsDialog(Dialogs* dialogs, Desktop* desktop, QWidget* parent)
    : QDialog(parent), mp_ui(std::make_unique<Ui::GuiSettingsDialog>()), mp_dialogs(dialogs),
      mp_desktop(desktop)
{
    mp_ui->setupUi(this);
    setObjectName(QStringLiteral("GuiSettings"));
    setWindowTitle(tr("%1 - %2").arg(tr("Preferences"), ProgramIdentity::programName()));

    mp_ui->mp_lIdealThreads->setText(tr("(%1 %2 - %3 %4)")
                                         .arg(tr("default"))
                                         .arg(ProgramIdentity::idealThreadCount())
                                         .arg(tr("ideal"))
                                         .arg(QThread::idealThreadCount()));
    for (int method = 0; method <= 3; ++method)
        mp_ui->mp_comboCopyMethod->addItem(MainWindowRules::copyMethodName(method), method);
    // In the order of RunSettings::hashNames; the tool that reads the checksum list named.
    mp_ui->mp_comboHashAlgorithm->addItems({tr("SHA-256 (sha256sum)"), tr("BLAKE2b-512 (b2sum)"),
                                            tr("XXH3-128, the fastest (xxhsum -H2)")});
    mp_ui->mp_leLogPath->setReadOnly(true);
    const QString megabytes = tr(" MB");
    mp_ui->mp_sbSkipCheckForSize->setSuffix(megabytes);
    mp_ui->mp_sbLogMinimumSize->setSuffix(megabytes);
    mp_ui->mp_sbLogMaximumSize->setSuffix(megabytes);
    mp_ui->mp_lInfoSkipCheck->setText(tr("(0 = %1)").arg(tr("never skip")));
    mp_ui->mp_twSettings->setCurrentIndex(0);
    AccessibleNames::nameQtButtons(this);

    connect(mp_ui->mp_pbOk, &QPushButton::clicked, this, &GuiSettingsDialog::accept);
    connect(mp_ui->mp_pbCancel, &QPushButton::clicked, this, &GuiSettingsDialog::reject);
    connect(mp_ui->mp_pbDefault, &QPushButton::clicked, this,
            &GuiSettingsDialog::onRestoreToDefaultClicked);
    connect(mp_ui->mp_pbSelectLogPath, &QPushButton::clicked, this,
            &GuiSettingsDialog::onSelectLogPathClicked);
    connect(mp_ui->mp_pbSelectManifestPath, &QPushButton::clicked, this,
            &GuiSettingsDialog::onSelectManifestPathClicked);
    connect(mp_ui->mp_pbOpenPath, &QPushButton::clicked, this,
            &GuiSettingsDialog::openSettingsFilePath);
    connect(mp_ui->mp_pbSelectExternalProgramPath, &QPushButton::clicked, this,
            &GuiSettingsDialog::onSelectExternalProgramPathClicked);
    connect(mp_ui->mp_cbUseExternalCopyProgram, &QCheckBox::toggled, this,
            &GuiSettingsDialog::onUseExternalProgramToggled);
    connect(mp_ui->mp_pbSelectLanguagePath, &QPushButton::clicked, this,
            &GuiSettingsDialog::onSelectLanguagePathClicked);
    connect(mp_ui->mp_pbResetLanguage, &QPushButton::clicked, this,
            &GuiSettingsDialog::onResetLanguageClicked);
    connect(mp_ui->mp_cbEnableLog, &QCheckBox::toggled, this,
            &GuiSettingsDialog::onEnableLogToggled);
    connect(mp_ui->mp_comboCopyMethod, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &GuiSettingsDialog::onCurrentIndexChanged);
}

GuiSettingsDialog::~GuiSettingsDialog() = default;

GuiMainWindow::PreferencesFactory GuiSettingsDialog::preferencesFactory(const GuiMainWindow* window)
{
    // The seams are taken when the dialog is opened: tests replace them after construction.
    return [window](QWidget* parent) -> std::unique_ptr<GuiMainWindow::PreferencesDialog> {
        return std::make_unique<Preferences>(window->dialogs(), window->desktop(), parent);
    };
}

int GuiSettingsDialog::megabytesShown(qint64 bytes)
{
    const qint64 megabytes =
        FileSystemUtils::roundToInt64(static_cast<double>(bytes) / BytesPerMegabyte);
    return static_cast<int>(qBound<qint64>(0, megabytes, INT_MAX));
}

qint64 GuiSettingsDialog::skipCheckBytes(int megabytes, qint64 shownBytes)
{
    if (shownBytes > 0 && megabytes == megabytesShown(shownBytes))
        return shownBytes;
    return megabytes == 0 ? -1 : qint64(megabytes) * BytesPerMegabyte;
}

int GuiSettingsDialog::spinMaximum(int bound, qint64 stored)
{
    return static_cast<int>(qBound<qint64>(bound, stored, INT_MAX));
}

QStringList GuiSettingsDialog::argumentsFromText(const QString& text)
{
    // Runs of blanks separate, never make an empty argument; "" alone is dropped too.
    return QProcess::splitCommand(text);
}

QString GuiSettingsDialog::argumentsText(const QStringList& arguments)
{
    QStringList parts;
    for (QString argument : arguments) {
        if (argument.isEmpty())
            continue;
        const bool quoted = std::any_of(argument.cbegin(), argument.cend(), [](QChar c) {
            return c.isSpace() || c == QLatin1Char('"');
        });
        if (quoted) {
            argument.replace(QLatin1String("\""), QLatin1String("\"\"\""));
            argument = QLatin1Char('"') + argument + QLatin1Char('"');
        }
        parts.append(argument);
    }
    return parts.join(QLatin1Char(' '));
}

QString GuiSettingsDialog::copyMethodInfo(int method)
{
    switch (method) {
    case 0:
        return tr("(%1 = %2)")
            .arg(tr("default method"),
                 MainWindowRules::copyMethodName(
                     ProgramIdentity::defaultCopyMethod(QString(), QString())));
    case 2:
        return tr("(%1)").arg(tr("long waiting time for pause"));
    default:
        return QString();
    }
}

void GuiSettingsDialog::loadFromSettings()
{
    fillFrom(*AppSettings::instance());
}

void GuiSettingsDialog::fillFrom(const AppSettings& settings)
{
    mp_ui->mp_sbThreads->setMinimum(1);
    mp_ui->mp_sbThreads->setMaximum(
        spinMaximum(10 * ProgramIdentity::idealThreadCount(), settings.maxNumThreads()));
    mp_ui->mp_sbThreads->setValue(settings.maxNumThreads());

    const int methodIndex = mp_ui->mp_comboCopyMethod->findData(settings.copyMethod());
    mp_ui->mp_comboCopyMethod->setCurrentIndex(methodIndex < 0 ? 0 : methodIndex);
    // Also when the index stays the same and no signal comes.
    onCurrentIndexChanged(mp_ui->mp_comboCopyMethod->currentIndex());

    m_shownSkipCheckBytes = settings.skipIntegrityCheckForFileSizeMoreThan();
    const int skipCheck = megabytesShown(m_shownSkipCheckBytes);
    mp_ui->mp_sbSkipCheckForSize->setMaximum(spinMaximum(SkipCheckBound, skipCheck));
    mp_ui->mp_sbSkipCheckForSize->setValue(skipCheck);
    mp_ui->mp_cbReportFilteredFiles->setChecked(settings.reportFilteredFiles());
    mp_ui->mp_cbRemoveReadOnlyAttribute->setChecked(settings.removeReadOnlyAttribute());
    mp_ui->mp_cbSkipErrorsInSync->setChecked(settings.skipErrorsInSync());
    mp_ui->mp_cbAutoSaveErrors->setChecked(settings.autoSaveErrors());
    mp_ui->mp_leManifestPath->setText(QDir::toNativeSeparators(settings.manifestPath()));
    mp_ui->mp_comboHashAlgorithm->setCurrentIndex(settings.hashAlgorithm());

    mp_ui->mp_leLanguagePath->setText(settings.languageFilePath());
    // Left empty, the field follows the system's language, shown greyed.
    mp_ui->mp_leLanguagePath->setPlaceholderText(settings.detectedLanguageFilePath());
    mp_ui->mp_cbEnableLog->setChecked(settings.logEnabled());
    onEnableLogToggled(settings.logEnabled());
    mp_ui->mp_leLogPath->setText(QDir::toNativeSeparators(settings.logFilePath()));
    mp_ui->mp_sbLogMinimumSize->setMaximum(spinMaximum(LogMinimumBound, settings.logMinimumSize()));
    mp_ui->mp_sbLogMinimumSize->setValue(static_cast<int>(
        qBound<qint64>(mp_ui->mp_sbLogMinimumSize->minimum(), settings.logMinimumSize(), INT_MAX)));
    mp_ui->mp_sbLogMaximumSize->setMaximum(spinMaximum(LogMaximumBound, settings.logMaximumSize()));
    mp_ui->mp_sbLogMaximumSize->setValue(static_cast<int>(
        qBound<qint64>(mp_ui->mp_sbLogMaximumSize->minimum(), settings.logMaximumSize(), INT_MAX)));
    mp_ui->mp_cbAllowMultipleInstances->setChecked(settings.allowMultipleInstances());
    mp_ui->mp_cbCheckVersion->setChecked(settings.checkForNewVersionAtStartup());

    mp_ui->mp_cbUseExternalCopyProgram->setChecked(settings.useExternalCopyProgram());
    onUseExternalProgramToggled(settings.useExternalCopyProgram());
    const ExternalProgramSettings program = settings.externalProgram();
    mp_ui->mp_leExternalProgramPath->setText(QDir::toNativeSeparators(program.filePath));
    mp_ui->mp_leExternalProgramArguments->setText(argumentsText(program.arguments));
    mp_ui->mp_cbSkipBuildList->setChecked(settings.skipBuildListForExternalProgram());
}

void GuiSettingsDialog::storeToSettings()
{
    AppSettings* settings = AppSettings::instance();
    settings->setMaxNumThreads(mp_ui->mp_sbThreads->value());
    settings->setCopyMethod(
        AppSettings::boundedCopyMethod(mp_ui->mp_comboCopyMethod->currentData().toInt()));
    settings->setLogFilePath(mp_ui->mp_leLogPath->text());
    const qint64 logMinimum = mp_ui->mp_sbLogMinimumSize->value();
    settings->setLogMinimumSize(logMinimum);
    settings->setLogMaximumSize(
        AppSettings::boundedLogMaximumSize(mp_ui->mp_sbLogMaximumSize->value(), logMinimum));
    settings->setCheckForNewVersionAtStartup(mp_ui->mp_cbCheckVersion->isChecked());
    settings->setUseExternalCopyProgram(mp_ui->mp_cbUseExternalCopyProgram->isChecked());
    ExternalProgramSettings program;
    program.filePath = QDir::toNativeSeparators(mp_ui->mp_leExternalProgramPath->text().trimmed());
    program.arguments = argumentsFromText(mp_ui->mp_leExternalProgramArguments->text());
    program.syntaxType = ExternalProgramSettings::syntaxTypeForProgram(program.filePath);
    settings->setExternalProgram(program);
    settings->setSkipBuildListForExternalProgram(mp_ui->mp_cbSkipBuildList->isChecked());
    settings->setLanguageFilePath(mp_ui->mp_leLanguagePath->text());
    settings->setSkipIntegrityCheckForFileSizeMoreThan(
        skipCheckBytes(mp_ui->mp_sbSkipCheckForSize->value(), m_shownSkipCheckBytes));
    settings->setAutoSaveErrors(mp_ui->mp_cbAutoSaveErrors->isChecked());
    settings->setManifestPath(mp_ui->mp_leManifestPath->text().trimmed());
    settings->setHashAlgorithm(qMax(0, mp_ui->mp_comboHashAlgorithm->currentIndex()));
    settings->setSkipErrorsInSync(mp_ui->mp_cbSkipErrorsInSync->isChecked());
    settings->setReportFilteredFiles(mp_ui->mp_cbReportFilteredFiles->isChecked());
    settings->setLogEnabled(mp_ui->mp_cbEnableLog->isChecked());
    settings->setAllowMultipleInstances(mp_ui->mp_cbAllowMultipleInstances->isChecked());
    settings->setRemoveReadOnlyAttribute(mp_ui->mp_cbRemoveReadOnlyAttribute->isChecked());
    settings->save();
}

void GuiSettingsDialog::accept()
{
    // Every copy would fail on a program that is not there.
    if (mp_ui->mp_cbUseExternalCopyProgram->isChecked() &&
        mp_ui->mp_leExternalProgramPath->text().trimmed().isEmpty()) {
        mp_ui->mp_twSettings->setCurrentWidget(mp_ui->mp_tabThreads);
        mp_dialogs->warn(this, tr("Select the external copy program to use."), tr("Ok"));
        return;
    }
    QDialog::accept();
}

void GuiSettingsDialog::inform(const QString& text)
{
    mp_dialogs->inform(this, text, tr("Ok"));
}

void GuiSettingsDialog::onSelectLogPathClicked()
{
    QString start = mp_ui->mp_leLogPath->text();
    if (start.isEmpty())
        start = AppSettings::instance()->dataFolder();
    const QString path = mp_dialogs->saveFileName(this, ProgramIdentity::programName(), start,
                                                  tr("%1 (*.txt *.log)").arg(tr("Log files")));
    if (!path.isEmpty())
        mp_ui->mp_leLogPath->setText(QDir::toNativeSeparators(path));
}

void GuiSettingsDialog::onSelectManifestPathClicked()
{
    QString start = mp_ui->mp_leManifestPath->text();
    if (start.isEmpty())
        start = QDir::homePath() + QStringLiteral("/checksums.txt");
    const QString path = mp_dialogs->saveFileName(this, ProgramIdentity::programName(), start,
                                                  tr("%1 (*)").arg(tr("Checksum lists")));
    if (!path.isEmpty())
        mp_ui->mp_leManifestPath->setText(QDir::toNativeSeparators(path));
}

void GuiSettingsDialog::onRestoreToDefaultClicked()
{
    // Only the controls change: the settings and their file wait for "Ok". The language
    // chosen stays, as the program's language is no preference to reset by accident.
    const QString language = mp_ui->mp_leLanguagePath->text();
    fillFrom(*AppSettings::instance()->defaults());
    mp_ui->mp_leLanguagePath->setText(language);
    inform(tr("The default settings are filled in: Ok keeps them, Cancel keeps your own."));
}

void GuiSettingsDialog::openSettingsFilePath()
{
    AppSettings* settings = AppSettings::instance();
    QString path = settings->settingsFileName();
    if (path.isEmpty())
        path = settings->openSettingsFile()->fileName();
    const QFileInfo info(path);
    if (info.exists() && mp_desktop->showInFileManager(path))
        return;
    // Not saved yet, or no file manager to show it: its folder, with the default handler.
    const QString folder = QDir::toNativeSeparators(info.absolutePath());
    if (!QFileInfo(folder).isDir()) {
        inform(QStringLiteral("%1 %2.").arg(folder, tr("does not exist")));
        return;
    }
    if (!mp_desktop->openUrl(QUrl::fromLocalFile(folder)))
        inform(tr("Unable to open %1").arg(folder));
}

void GuiSettingsDialog::onSelectExternalProgramPathClicked()
{
    const QString path = mp_dialogs->openFileName(
        this, ProgramIdentity::programName(), mp_ui->mp_leExternalProgramPath->text(), QString());
    if (path.isEmpty())
        return;
    mp_ui->mp_leExternalProgramPath->setText(QDir::toNativeSeparators(path));
    // A known program without arguments would not copy a tree (rsync without -a).
    if (mp_ui->mp_leExternalProgramArguments->text().trimmed().isEmpty())
        mp_ui->mp_leExternalProgramArguments->setText(
            argumentsText(ExternalProgramSettings::defaultArgumentsFor(path)));
}

void GuiSettingsDialog::onUseExternalProgramToggled(bool on)
{
    for (QWidget* widget : std::initializer_list<QWidget*>{
             mp_ui->mp_pbSelectExternalProgramPath, mp_ui->mp_lExternalProgramPath,
             mp_ui->mp_lExternalProgramArguments, mp_ui->mp_leExternalProgramPath,
             mp_ui->mp_leExternalProgramArguments, mp_ui->mp_cbSkipBuildList})
        widget->setEnabled(on);
}

void GuiSettingsDialog::onSelectLanguagePathClicked()
{
    QString start = mp_ui->mp_leLanguagePath->text();
    if (start.isEmpty())
        start = AppSettings::instance()->resourceFolder();
    const QString path = mp_dialogs->openFileName(this, ProgramIdentity::programName(), start,
                                                  tr("%1 (*.qm)").arg(tr("Language files")));
    if (!path.isEmpty())
        mp_ui->mp_leLanguagePath->setText(QDir::toNativeSeparators(path));
}

void GuiSettingsDialog::onResetLanguageClicked()
{
    mp_ui->mp_leLanguagePath->clear();
}

void GuiSettingsDialog::onEnableLogToggled(bool on)
{
    for (QWidget* widget : std::initializer_list<QWidget*>{
             mp_ui->mp_leLogPath, mp_ui->mp_pbSelectLogPath, mp_ui->mp_lMinimumSize,
             mp_ui->mp_lMaximumSize, mp_ui->mp_sbLogMinimumSize, mp_ui->mp_sbLogMaximumSize})
        widget->setEnabled(on);
}

void GuiSettingsDialog::onCurrentIndexChanged(int index)
{
    mp_ui->mp_lCopyMethodInfo->setText(
        copyMethodInfo(mp_ui->mp_comboCopyMethod->itemData(index).toInt()));
}
