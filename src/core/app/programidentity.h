#pragma once

#include <QString>

// The constants that name the program and say where it lives on the web, and the
// few texts derived from them. Everything here is fixed at build time, except that
// the web-site and analytics addresses may be overridden at run time through the
// environment variables BRINDLE_WEBSITE_URL and BRINDLE_ANALYTICS_ENDPOINT (tests,
// packagers). An empty address means the feature that uses it is off.
namespace ProgramIdentity {

QString programName();
QString organizationName();
QString organizationDomain();
QString webSiteUrl();
QString analyticsTrackingId();
QString analyticsEndpoint();
QString analyticsProtocolVersion();
QString donationPageUrl();
QString versionFilePath();
QString helpPath();
QString taskFileExtension();
QString version();
int buildNumber();

QString helpUrl();
QString versionFileUrl();

// "2.1.4", "2.1.4-b199", "2.1.4-qt5" or "2.1.4-b199-qt5".
QString versionText(bool withFrameworkVersion = false, bool withBuildNumber = false);
// First dotted part of a Qt version string, "0" when there is none.
QString frameworkMajorVersion(const QString& qtVersion);
QString frameworkMajorVersion();

// Short form ("Linux") names the version-file group and starts the analytics label;
// the display form ("GNU/Linux") is shown in the About box.
QString operatingSystemName(bool displayForm = false);

// Copy method used by default for a pair of paths: 1, the native method.
int defaultCopyMethod(const QString& sourcePath, const QString& destinationPath);
// Number of copy and check threads recommended beside the thread setting.
int idealThreadCount();

} // namespace ProgramIdentity
