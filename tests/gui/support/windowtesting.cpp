#include "windowtesting.h"

#include "app/appsettings.h"
#include "copytaskfixture.h"
#include "engine/filehash.h"
#include "guimainwindow.h"
#include "scripteddialogs.h"
#include "testsupport.h"

#include <QApplication>
#include <QtTest>

namespace WindowTesting {

void initTestCase()
{
    TestSupport::initTestEnvironment();
    FileHash::initialize();
    TestSupport::usePool(2);
    AppSettings::instance()->setLogEnabled(false);
}

std::unique_ptr<GuiMainWindow> scriptedWindow()
{
    auto window = std::make_unique<GuiMainWindow>();
    window->setDialogs(std::make_unique<ScriptedDialogs>());
    window->setDesktop(std::make_unique<RecordingDesktop>());
    return window;
}

bool waitUntilIdle(const GuiMainWindow& window)
{
    return QTest::qWaitFor([&window] { return window.isIdle(); }, 20000);
}

void finish(std::unique_ptr<GuiMainWindow>& window)
{
    const bool idle = waitUntilIdle(*window);
    const auto* dialogs = static_cast<const ScriptedDialogs*>(window->dialogs());
    const QStringList unexpected = dialogs->unexpected;
    const int pendingAnswers = dialogs->pendingAnswers();
    // The window goes even when a check fails, so that the next test starts afresh.
    window->waitForRunToEnd();
    window.reset();
    QVERIFY(idle);
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join('\n')));
    QCOMPARE(pendingAnswers, 0);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

} // namespace WindowTesting
