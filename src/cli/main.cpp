#include "app/appsettings.h"
#include "app/logger.h"
#include "app/programidentity.h"
#include "app/translation.h"
#include "cliarguments.h"
#include "clichecksums.h"
#include "cliqueue.h"
#include "clireport.h"
#include "clirunner.h"
#include "fs/filenamecodec.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTextStream>
#include <QTranslator>

#include <cstdio>

namespace {

// Settings and log as the window has them; the log file is written only when the user
// enabled it, and nothing of the diagnostics reaches the terminal.
void setUpEnvironment(const CliArguments& arguments)
{
    AppSettings* settings = AppSettings::instance();
    QStringList applicationArguments = QCoreApplication::arguments();
    if (arguments.portable && !applicationArguments.contains(QStringLiteral("--portable")))
        applicationArguments.append(QStringLiteral("--portable"));
    settings->setUp(applicationArguments);

    Logger::instance()->setBufferOnlyWhileClosed(true);
    Logger::instance()->openFromSettings(*settings);
}

// The translation a window would install with these arguments, from the start: the help
// and a usage error come before the settings are set up, which makes the data folder.
void installLanguage(QTranslator* translator)
{
    const QStringList arguments = QCoreApplication::arguments();
    Translation::install(translator, AppSettings::instance()->startLanguageFilePath(arguments));
}

// Answers the help, the version and a usage error: their exit code. -1 when arguments
// ask for a run.
int answerWithoutRun(CliArguments* arguments)
{
    QString message;
    switch (CliArgumentParser::parse(QCoreApplication::arguments(), arguments, &message)) {
    case CliArgumentParser::ShowHelp:
        std::fputs(CliArgumentParser::helpText().toLocal8Bit().constData(), stdout);
        return 0;
    case CliArgumentParser::ShowVersion:
        std::fputs(CliArgumentParser::versionText().toLocal8Bit().constData(), stdout);
        return 0;
    case CliArgumentParser::UsageError: {
        std::fputs(QStringLiteral("brindle-cli: %1\n%2\n")
                       .arg(CliReport::safeText(message), CliArgumentParser::moreHelpText())
                       .toLocal8Bit()
                       .constData(),
                   stderr);
        // A script that asked for JSON gets it, whatever else was wrong.
        const QStringList all = QCoreApplication::arguments();
        if (all.contains(QStringLiteral("--json")))
            std::fputs(CliReport::errorJson(CliArguments::commandName(CliArguments::commandIn(all)),
                                            QStringLiteral("usage"), message)
                           .constData(),
                       stdout);
        return CliRunner::UsageOrPathError;
    }
    case CliArgumentParser::Run:
        break;
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[])
{
    // No other toolkit's loop to join here, so Qt's own event dispatcher: it wakes a thread
    // once for the events posted while it works, where the GLib one makes a system call for
    // each, and a run posts several per file between its threads. Read by every thread
    // that starts an event loop, so it stays set.
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    // Before the arguments are read: a path that is not valid UTF-8 arrives whole.
    FileNameCodec::install();
    QCoreApplication::setApplicationName(ProgramIdentity::programName());
    QCoreApplication::setOrganizationName(ProgramIdentity::organizationName());
    QCoreApplication::setOrganizationDomain(ProgramIdentity::organizationDomain());
    QCoreApplication::setApplicationVersion(ProgramIdentity::version());

    // Diagnostics go to the log file (when the user enabled it), never to the terminal.
    Logger::instance()->setEchoWhileClosed(false);
    qInstallMessageHandler(Logger::messageHandler);
    QTranslator translator;
    installLanguage(&translator);

    CliArguments arguments;
    int code = answerWithoutRun(&arguments);
    if (code < 0) {
        setUpEnvironment(arguments);
        qDebug() << "Starting" << qUtf8Printable(ProgramIdentity::programName())
                 << "command line v." << qUtf8Printable(ProgramIdentity::versionText(true, true));
        if (arguments.command == CliArguments::CheckCommand) {
            code = CliChecksums::run(arguments);
        } else if (arguments.queue || arguments.command == CliArguments::QueueCommand) {
            CliQueue queue(arguments);
            code = queue.run();
        } else {
            CliRunner runner(arguments);
            code = runner.run();
        }
        qDebug() << "brindle-cli is closed with code" << code;
    }
    AppSettings::destroyInstance();
    Logger::destroyInstance();
    qInstallMessageHandler(nullptr);
    return code;
}
