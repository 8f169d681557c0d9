#pragma once

#include "guimainwindow.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <memory>

class AppSettings;
class Desktop;
class Dialogs;

namespace Ui {
class GuiSettingsDialog;
}

// The preferences: the user-editable settings in three tabs. Until it is accepted it
// changes only its own controls: "Default" refills them from the default values, and
// "Cancel" leaves the settings and the settings file as they were. storeToSettings then
// writes the controls into the settings and saves the file. Pickers and boxes go through
// the window's Dialogs, opening the settings folder through its Desktop.
class GuiSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    GuiSettingsDialog(Dialogs* dialogs, Desktop* desktop, QWidget* parent = nullptr);
    ~GuiSettingsDialog() override;

    // From and into AppSettings::instance(); storing also saves the settings file.
    void loadFromSettings();
    void storeToSettings();

    // The window's preferences seam: this dialog with the window's current Dialogs and
    // Desktop, run modally and fixed to its size.
    static GuiMainWindow::PreferencesFactory preferencesFactory(const GuiMainWindow* window);

    // The skip-check size is kept in bytes and shown in megabytes, 0 meaning "never skip".
    static int megabytesShown(qint64 bytes);
    // 0 becomes -1 (never skip). A value left as it was shown keeps the bytes it came from,
    // so that opening and accepting the dialog never rounds a stored threshold away.
    static qint64 skipCheckBytes(int megabytes, qint64 shownBytes);
    // A spin box's upper bound, raised to a stored value beyond it so that it is shown as is.
    static int spinMaximum(int bound, qint64 stored);
    // The external program's arguments as one line: split at blanks, with double quotes
    // around an argument that holds blanks ("""" for a quote); an empty argument is never
    // made, since the program would take it for a path.
    static QStringList argumentsFromText(const QString& text);
    static QString argumentsText(const QStringList& arguments);
    // The explanation beside the copy method of this number.
    static QString copyMethodInfo(int method);

public slots:
    void accept() override;
    void onSelectLogPathClicked();
    void onSelectManifestPathClicked();
    void onRestoreToDefaultClicked();
    void openSettingsFilePath();
    void onSelectExternalProgramPathClicked();
    void onUseExternalProgramToggled(bool on);
    void onSelectLanguagePathClicked();
    void onResetLanguageClicked();
    void onEnableLogToggled(bool on);
    void onCurrentIndexChanged(int index);

private:
    void fillFrom(const AppSettings& settings);
    void inform(const QString& text);

    std::unique_ptr<Ui::GuiSettingsDialog> mp_ui;
    Dialogs* mp_dialogs;
    Desktop* mp_desktop;
    // The skip-check size the spin box was filled from, in bytes.
    qint64 m_shownSkipCheckBytes = 0;
};
