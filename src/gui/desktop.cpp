#include "desktop.h"

#include "app/programidentity.h"
#include "fs/filesystemutils.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHash>
#include <QPointer>
#include <QProcess>

namespace {

const QString NotificationsService = QStringLiteral("org.freedesktop.Notifications");
const QString NotificationsPath = QStringLiteral("/org/freedesktop/Notifications");

// The notifications the program has shown and what a click on each does; one for the
// process, living as long as the application, since a click may come long after the call.
class Notifications : public QObject
{
    Q_OBJECT

public:
    static Notifications* instance()
    {
        static QPointer<Notifications> s_instance;
        if (!s_instance)
            s_instance = new Notifications(QCoreApplication::instance());
        return s_instance;
    }

    void notify(const QString& summary, const QString& body, std::function<void()> onClicked)
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        if (!m_listening) {
            // Before the first call: a click can only come after its answer.
            bus.connect(NotificationsService, NotificationsPath, NotificationsService,
                        QStringLiteral("ActionInvoked"), this,
                        SLOT(onActionInvoked(uint, QString)));
            bus.connect(NotificationsService, NotificationsPath, NotificationsService,
                        QStringLiteral("NotificationClosed"), this,
                        SLOT(onNotificationClosed(uint, uint)));
            m_listening = true;
        }
        QString desktopId = QGuiApplication::desktopFileName();
        if (desktopId.endsWith(QLatin1String(".desktop")))
            desktopId.chop(8);
        QVariantMap hints;
        if (!desktopId.isEmpty())
            hints.insert(QStringLiteral("desktop-entry"), desktopId);
        QDBusMessage call =
            QDBusMessage::createMethodCall(NotificationsService, NotificationsPath,
                                           NotificationsService, QStringLiteral("Notify"));
        call << ProgramIdentity::programName() << uint(0) << QStringLiteral("brindle") << summary
             << body
             << QStringList{QStringLiteral("default"),
                            QCoreApplication::translate("SystemDesktop", "Show")}
             << hints << -1;
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, onClicked = std::move(onClicked)](QDBusPendingCallWatcher* answer) {
                    answer->deleteLater();
                    const QDBusPendingReply<uint> reply = *answer;
                    // No notification service: nothing was shown, nothing to wait for.
                    if (!reply.isError() && onClicked)
                        m_clickHandlers.insert(reply.value(), onClicked);
                });
    }

private slots:
    void onActionInvoked(uint id, const QString& action)
    {
        if (action != QLatin1String("default"))
            return;
        // Taken out first: a click runs its handler once.
        const std::function<void()> onClicked = m_clickHandlers.take(id);
        if (onClicked)
            onClicked();
    }

    void onNotificationClosed(uint id, uint reason)
    {
        Q_UNUSED(reason)
        m_clickHandlers.remove(id);
    }

private:
    using QObject::QObject;

    bool m_listening = false;
    QHash<uint, std::function<void()>> m_clickHandlers;
};

} // namespace

Desktop::~Desktop() = default;

bool SystemDesktop::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

bool SystemDesktop::showInFileManager(const QString& path)
{
    return FileSystemUtils::showInExplorer(path);
}

bool SystemDesktop::startDetached(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}

void SystemDesktop::notify(const QString& summary, const QString& body,
                           std::function<void()> onClicked)
{
    Notifications::instance()->notify(summary, body, std::move(onClicked));
}

#include "desktop.moc"
