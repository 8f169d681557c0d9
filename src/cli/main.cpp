#include "app/appsettings.h"
#include "app/logger.h"
#include "app/programidentity.h"
#include "cliarguments.h"
#include "clireport.h"
#include "clirunner.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTextStream>

#include <cstdio>

namespace {

// Settings and log as the window has them; the log file is written only when the user
// enabled it, and nothing of the diagnostics reaches the terminal.
void setUpEnvironment(const CliArguments& arguments)
{
    Logger::instance()->setEchoWhileClosed(false);
    qInstallMessageHandler(Logger::messageHandler);

    AppSettings* settings = AppSettings::instance();
    QStringList applicationArguments = QCoreApplication::arguments();
    if (arguments.portable && !applicationArguments.contains(QStringLiteral("--portable")))
        applicationArguments.append(QStringLiteral("--portable"));
    settings->setUp(applicationArguments);

    Logger::instance()->setBufferOnlyWhileClosed(true);
    Logger::instance()->openFromSettings(*settings);
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
    QCoreApplication::setApplicationName(ProgramIdentity::programName());
    QCoreApplication::setOrganizationName(ProgramIdentity::organizationName());
    QCoreApplication::setOrganizationDomain(ProgramIdentity::organizationDomain());
    QCoreApplication::setApplicationVersion(ProgramIdentity::version());

    CliArguments arguments;
    QString message;
    switch (CliArgumentParser::parse(QCoreApplication::arguments(), &arguments, &message)) {
    case CliArgumentParser::ShowHelp:
        std::fputs(CliArgumentParser::helpText().toLocal8Bit().constData(), stdout);
        return 0;
    case CliArgumentParser::ShowVersion:
        std::printf("%s %s for %s\n", qPrintable(ProgramIdentity::programName()),
                    qPrintable(ProgramIdentity::versionText(true, true)),
                    qPrintable(ProgramIdentity::operatingSystemName(true)));
        return 0;
    case CliArgumentParser::UsageError:
        std::fprintf(stderr, "brindle-cli: %s\nTry 'brindle-cli --help' for more information.\n",
                     CliReport::safeText(message).toLocal8Bit().constData());
        return CliRunner::UsageOrPathError;
    case CliArgumentParser::Run:
        break;
    }

    setUpEnvironment(arguments);
    qDebug() << "Starting" << qUtf8Printable(ProgramIdentity::programName()) << "command line v."
             << qUtf8Printable(ProgramIdentity::versionText(true, true));
    int code;
    {
        CliRunner runner(arguments);
        code = runner.run();
    }
    qDebug() << "brindle-cli is closed with code" << code;
    AppSettings::destroyInstance();
    Logger::destroyInstance();
    qInstallMessageHandler(nullptr);
    return code;
}
