#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

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

    // The daemon's address; empty when it could not be started (apt package dbus).
    QString address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

// The debug lines and the warnings (anything worse included) given while it lives: a
// desktop service that is missing must cost no warning.
class MessageRecorder
{
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    QStringList debugLines;
    QStringList warnings;
};
