#pragma once

#include <QProcess>
#include <QString>

// A D-Bus daemon of the test's own (the session configuration, listening in a temporary
// folder), so that tests of desktop services neither need nor touch a real bus. The daemon
// ends with the object.
class PrivateBus
{
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // The daemon's address; empty when it could not be started (why() says why).
    QString address() const { return m_address; }
    QString why() const { return m_why; }

private:
    QProcess m_daemon;
    QString m_address;
    QString m_why;
};
