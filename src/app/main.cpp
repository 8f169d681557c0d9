#include "app/appsettings.h"
#include "app/logger.h"
#include "app/programidentity.h"
#include "app/translation.h"
#include "engine/filehash.h"
#include "fs/filenamecodec.h"
#include "guimainwindow.h"
#include "guisettingsdialog.h"
#include "jobs/jobthreadpool.h"
#include "jobs/transfercounters.h"
#include "launcherentryprogress.h"
#include "taveroapplication.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int RunEndSilenceMs = 30000;

// The texts of this file are the application's, in the context "TaveroApplication".
struct T
{
    Q_DECLARE_TR_FUNCTIONS(TaveroApplication)
};

enum class Answer
{
    None,
    Help,
    Version,
    NoDisplay
};

// What the command line asks that needs no window.
Answer answerFor(int argc, char* argv[])
{
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--help") == 0 || std::strcmp(argv[index], "-h") == 0)
            return Answer::Help;
        if (std::strcmp(argv[index], "--version") == 0)
            return Answer::Version;
    }
    // Qt would abort without a word a user can act on.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return Answer::NoDisplay;
    return Answer::None;
}

// The answer in the user's language, through an application object of its own that is
// gone before the window's would be created. Its exit code, or -1 when a window is wanted.
int answerWithoutWindow(int argc, char* argv[])
{
    const Answer answer = answerFor(argc, argv);
    if (answer == Answer::None)
        return -1;
    QCoreApplication app(argc, argv);
    // Diagnostics of the translation's look-up would only clutter the terminal.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QTranslator translator;
    Translation::install(
        &translator, AppSettings::instance()->startLanguageFilePath(QCoreApplication::arguments()));
    qInstallMessageHandler(nullptr);
    AppSettings::destroyInstance();

    switch (answer) {
    case Answer::Help:
        std::fputs(T::tr("Usage: brindle [--portable]\n"
                         "\n"
                         "Starts the Brindle window: choose a source and a destination, the "
                         "options, and\n"
                         "copy, move, verify or fix the errors of a copy.\n"
                         "\n"
                         "  --portable   keep the settings and data beside the program\n"
                         "  --help       show this text\n"
                         "  --version    show the version\n"
                         "\n"
                         "Without a display, use brindle-cli, the command-line program "
                         "(brindle-cli --help).\n")
                       .toLocal8Bit()
                       .constData(),
                   stdout);
        return 0;
    case Answer::Version:
        //: Program name, its version and the operating system: "Brindle 2.1.4 for Debian".
        std::fputs(T::tr("%1 %2 for %3\n")
                       .arg(ProgramIdentity::programName(),
                            ProgramIdentity::versionText(true, true),
                            ProgramIdentity::operatingSystemName(true))
                       .toLocal8Bit()
                       .constData(),
                   stdout);
        return 0;
    case Answer::NoDisplay:
    case Answer::None:
        break;
    }
    std::fputs(T::tr("brindle: no display is available (DISPLAY and WAYLAND_DISPLAY are not "
                     "set).\n"
                     "Start it in a desktop session, or use the command-line program instead:\n"
                     "  brindle-cli --help\n")
                   .toLocal8Bit()
                   .constData(),
               stderr);
    return 1;
}

// Settings, log and translation, once this start is known to be the only one.
void setUpEnvironment(TaveroApplication& app, QTranslator* translator)
{
    qInstallMessageHandler(Logger::messageHandler);
    qDebug() << "Starting" << qUtf8Printable(ProgramIdentity::programName()) << "v."
             << qUtf8Printable(ProgramIdentity::versionText(true, true)) << "by Orvane -"
             << qUtf8Printable(
                    QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")));
    AppSettings* settings = AppSettings::instance();
    settings->setUp(QCoreApplication::arguments());
    app.setSingleInstance(!settings->allowMultipleInstances());
    // The buffer keeps filling while the file is open: the window's "Log" tab reads it.
    Logger::instance()->openFromSettings(*settings);
    settings->detectDefaultLanguage();
    app.installLanguage(translator, settings->languageFileInUse());
}

void connectWindow(TaveroApplication& app, GuiMainWindow& window)
{
    QObject::connect(&app, &TaveroApplication::showUp, &window, &GuiMainWindow::showOnTop);
    QObject::connect(&app, &TaveroApplication::terminationRequested, &window,
                     &GuiMainWindow::closeWithoutAsking);
    QObject::connect(&app, &TaveroApplication::openFileRequest, &window,
                     &GuiMainWindow::onOpenFileRequest);
    QObject::connect(&app, &TaveroApplication::argumentsReceived, &window,
                     &GuiMainWindow::onArgumentsReceived);
}

} // namespace

int main(int argc, char* argv[])
{
    const int answered = answerWithoutWindow(argc, argv);
    if (answered >= 0)
        return answered;

    TaveroApplication app(argc, argv);
    // Before the arguments are read: a path that is not valid UTF-8 arrives whole.
    FileNameCodec::install();
    // From the start: a signal that comes before the window exists is taken once the
    // event loop runs, instead of killing the program half set up.
    app.quitOnTerminationSignals();
    AppSettings::instance();
    QApplication::setApplicationName(ProgramIdentity::programName());
    QApplication::setOrganizationName(ProgramIdentity::organizationName());
    QApplication::setOrganizationDomain(ProgramIdentity::organizationDomain());
    QApplication::setApplicationVersion(ProgramIdentity::version());
    QGuiApplication::setDesktopFileName(QStringLiteral(BRINDLE_APP_ID));

    // Before the settings are read: a start gives way to any instance that listens.
    if (app.isAnotherInstanceRunning(QCoreApplication::arguments())) {
        qDebug() << QCoreApplication::applicationName() << "closed";
        AppSettings::destroyInstance();
        return 0;
    }

    QTranslator translator;
    setUpEnvironment(app, &translator);
    // Hashing picks its implementation once, before any thread may hash.
    FileHash::initialize();
    JobThreadPool::createThreads(AppSettings::instance()->maxNumThreads());
    JobThreadPool::startThreads();
    TransferCounters::createInstance();

    int code;
    {
        GuiMainWindow window;
        window.setPreferencesFactory(GuiSettingsDialog::preferencesFactory(&window));
        window.setTaskbarProgress(std::make_unique<LauncherEntryProgress>());
        connectWindow(app, window);
        window.restoreLastTask();
        app.showMainWindow(&window);
        code = app.exec();
        // A start from now on is a new instance, not one that hands over to a closing window.
        app.setSingleInstance(false);
        // A run whose file system stopped answering (a hung mount) never ends: once it has
        // reported nothing for a while, the program goes without it, keeping the settings.
        if (!window.waitForRunToEnd(RunEndSilenceMs)) {
            qWarning() << "The run did not end: its file system does not answer. Brindle closes"
                          " without waiting for it";
            AppSettings::instance()->save();
            Logger::destroyInstance();
            std::_Exit(code == 0 ? GuiMainWindow::StoppedExitCode : code);
        }
        // A run stopped by the closing is saved for the next start, as brindle-cli saves
        // one, and the exit code says that it stopped.
        const int closing = window.finishClosing();
        if (code == 0)
            code = closing;
    }
    JobThreadPool::destroyThreads();
    TransferCounters::destroyInstance();
    AppSettings::instance()->save();
    qDebug() << "Brindle is closed with code" << code;
    AppSettings::destroyInstance();
    Logger::destroyInstance();
    qInstallMessageHandler(nullptr);
    return code;
}
