#pragma once

#include <QObject>

class WindowSeams;
class WindowWorker;

namespace Ui {
class GuiMainWindow;
}

// What the window asks of the desktop: the pickers of the path fields, opening folders,
// files and web pages, the About box and a second window. Whether a path exists, and the
// file manager's D-Bus call that may wait up to two seconds, run on the worker; the
// window goes on meanwhile, and a box about the outcome comes once they are back.
class DesktopActions : public QObject
{
    Q_OBJECT

public:
    DesktopActions(Ui::GuiMainWindow* ui, WindowSeams* seams, WindowWorker* worker,
                   QObject* parent = nullptr);

    // A folder is opened, a file shown selected in the file manager (its folder opened
    // when that fails); a missing path is reported. Emits opened when done.
    void showPathInFolder(const QString& path);
    // The path with its default handler, or a box saying why not. Emits opened when done.
    void openLocalPath(const QString& path);
    // False, after a box, when the desktop would not open it.
    bool openWebUrl(const QString& url);

public slots:
    void selectFrom();
    void selectFromAsFile();
    void selectTo();
    void openFrom();
    void openTo();
    void openOfficialWebSite();
    void openHelpWebSite();
    void openDonationWebSite();
    void openDataFolder();
    void openLogFile();
    void showAbout();
    void openNewWindow();

signals:
    // A request of showPathInFolder or openLocalPath has been answered.
    void opened();

private:
    struct Opening;
    void finishOpening(const Opening& opening);

    Ui::GuiMainWindow* mp_ui;
    WindowSeams* mp_seams;
    WindowWorker* mp_worker;
};
