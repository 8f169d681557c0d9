#include "app/programidentity.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(ProgramIdentity::programName());
    QCoreApplication::setOrganizationName(ProgramIdentity::organizationName());
    QCoreApplication::setOrganizationDomain(ProgramIdentity::organizationDomain());
    QCoreApplication::setApplicationVersion(ProgramIdentity::versionText(false, true));

    QTextStream out(stdout);
    out << ProgramIdentity::programName() << ' ' << ProgramIdentity::versionText(true, true)
        << " for " << ProgramIdentity::operatingSystemName(true) << '\n';
    return 0;
}
