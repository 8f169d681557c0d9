#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

// What the window asks of the desktop: open an address or a local path with its default
// handler, show an item selected in the file manager, start a program on its own. Tests
// replace it so that nothing is opened or started for real.
class Desktop
{
public:
    Desktop() = default;
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;
    virtual ~Desktop();

    virtual bool openUrl(const QUrl& url) = 0;
    // Shows the item in the desktop file manager, selected.
    virtual bool showInFileManager(const QString& path) = 0;
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
    // One desktop notification; onClicked runs when the user clicks it. Silent where no
    // notification service exists.
    virtual void notify(const QString& summary, const QString& body,
                        std::function<void()> onClicked) = 0;
};

// QDesktopServices, the file manager over D-Bus, QProcess.
class SystemDesktop : public Desktop
{
public:
    bool openUrl(const QUrl& url) override;
    bool showInFileManager(const QString& path) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
    void notify(const QString& summary, const QString& body,
                std::function<void()> onClicked) override;
};
