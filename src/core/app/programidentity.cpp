#include "app/programidentity.h"

#include "buildconfig.h"

#include <QStringList>
#include <QtGlobal>

namespace ProgramIdentity {

namespace {
QString fromEnvironmentOr(const char* variable, const char* builtIn)
{
    if (qEnvironmentVariableIsSet(variable))
        return qEnvironmentVariable(variable);
    return QString::fromUtf8(builtIn);
}
} // namespace

QString programName()
{
    return QStringLiteral("Brindle");
}
QString organizationName()
{
    return QStringLiteral("Orvanesoft");
}
QString organizationDomain()
{
    return QStringLiteral(BRINDLE_ORGANIZATION_DOMAIN);
}
QString webSiteUrl()
{
    return fromEnvironmentOr("BRINDLE_WEBSITE_URL", BRINDLE_WEBSITE_URL);
}
QString analyticsTrackingId()
{
    return QStringLiteral(BRINDLE_ANALYTICS_TRACKING_ID);
}
QString analyticsEndpoint()
{
    return fromEnvironmentOr("BRINDLE_ANALYTICS_ENDPOINT", BRINDLE_ANALYTICS_ENDPOINT);
}
QString analyticsProtocolVersion()
{
    return QStringLiteral("1");
}
QString donationPageUrl()
{
    return QStringLiteral(BRINDLE_DONATION_URL);
}
QString versionFilePath()
{
    return QStringLiteral("/update/brindleupdater.txt");
}
QString helpPath()
{
    return QStringLiteral("/help.php");
}
QString taskFileExtension()
{
    return QStringLiteral("bdt");
}
QString version()
{
    return QStringLiteral(BRINDLE_VERSION);
}
int buildNumber()
{
    return BRINDLE_BUILD_NUMBER;
}

QString helpUrl()
{
    return webSiteUrl() + helpPath();
}
QString versionFileUrl()
{
    return QStringLiteral("%1%2").arg(webSiteUrl(), versionFilePath());
}

QString versionText(bool withFrameworkVersion, bool withBuildNumber)
{
    QString text = version();
    if (withBuildNumber)
        text += QStringLiteral("-b%1").arg(buildNumber());
    if (withFrameworkVersion)
        text += QStringLiteral("-qt%1").arg(frameworkMajorVersion());
    return text;
}

QString frameworkMajorVersion(const QString& qtVersion)
{
    const QStringList parts = qtVersion.split(QLatin1Char('.'));
    if (parts.isEmpty() || parts.first().isEmpty())
        return QStringLiteral("0");
    return parts.first();
}

QString frameworkMajorVersion()
{
    return frameworkMajorVersion(QString::fromLatin1(qVersion()));
}

QString operatingSystemName(bool displayForm)
{
#if defined(Q_OS_LINUX)
    return displayForm ? QStringLiteral("GNU/Linux") : QStringLiteral("Linux");
#elif defined(Q_OS_WIN)
    return displayForm ? QStringLiteral("MS Windows") : QStringLiteral("Windows");
#else
    return displayForm ? QStringLiteral("Unknown OS") : QStringLiteral("unknown");
#endif
}

int defaultCopyMethod(const QString& sourcePath, const QString& destinationPath)
{
    Q_UNUSED(sourcePath)
    Q_UNUSED(destinationPath)
    return 1;
}

int idealThreadCount()
{
    return 2;
}

} // namespace ProgramIdentity
