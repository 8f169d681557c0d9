// The window and the preferences as a keyboard and a screen reader reach them: the Tab
// order, names for icon-only buttons, and keyboard accelerators that do not collide.
#include "guimainwindow.h"
#include "guisettingsdialog.h"
#include "scripteddialogs.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

namespace {

// The form's name of a control; Qt's inner parts (a tab bar, a spin box's field) are
// named after the form widget that holds them.
QString formName(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (w->objectName().startsWith(QLatin1String("mp_")))
            return w->objectName();
    }
    return QString::fromLatin1(widget->metaObject()->className());
}

// What Tab stops at, as QWidget::focusNextPrevChild decides it.
bool takesTab(const QWidget* widget, const QWidget* top)
{
    return (widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !widget->focusProxy() &&
           widget->isVisibleTo(top) && widget->isEnabled();
}

} // namespace

class TestKeyboardAccess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::initTestEnvironment(); }
    void keyboardAndNames_data();
    void keyboardAndNames();
};

void TestKeyboardAccess::keyboardAndNames_data()
{
    QTest::addColumn<bool>("preferences");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QStringList>("tabOrder");

    // Stop and Fix errors are disabled while no run has gone on; a radio group is one stop,
    // at its checked button.
    QTest::newRow("window, Copy tab")
        << false << 0
        << QString("mp_leFrom mp_pbSelectFrom mp_pbOpenFrom mp_leTo mp_pbSelectTo mp_pbOpenTo "
                   "mp_rbDestinationNormal mp_cbRecursive "
                   "mp_cbCopyHiddenFiles mp_cbCopySymbolicLinks mp_cbCopyEmptyFolders "
                   "mp_cbVerifyCopies mp_rbOverwriteOlderExistings mp_leCopyFilters "
                   "mp_pbClearCopyFilters mp_leSkipFilters mp_pbClearSkipFilters "
                   "mp_leSkipErrorFilters mp_pbClearSkipErrors mp_pbStart mp_pbVerify "
                   "mp_pbStartMove mp_pbCheckFirst mp_pbAddToQueue mp_twMain")
               .split(' ');
    QTest::newRow("window, Report tab") << false << 1
                                        << QString("mp_rbViewNone mp_leFilterName "
                                                   "mp_pbApplyFilter mp_twFiles mp_twMain")
                                               .split(' ');
    const QString buttons = " mp_pbDefault mp_pbOpenPath mp_pbOk mp_pbCancel";
    QTest::newRow("preferences, advanced options")
        << true << 0
        << QString("mp_twSettings mp_comboCopyMethod mp_sbSkipCheckForSize "
                   "mp_cbReportFilteredFiles mp_cbRemoveReadOnlyAttribute "
                   "mp_cbSkipErrorsInSync mp_cbAutoSaveErrors mp_leManifestPath "
                   "mp_pbSelectManifestPath mp_comboHashAlgorithm" +
                   buttons)
               .split(' ');
    QTest::newRow("preferences, misc")
        << true << 1
        << QString("mp_twSettings mp_leLanguagePath mp_pbSelectLanguagePath mp_pbResetLanguage "
                   "mp_cbEnableLog mp_leLogPath mp_pbSelectLogPath mp_sbLogMinimumSize "
                   "mp_sbLogMaximumSize mp_cbAllowMultipleInstances mp_cbCheckVersion" +
                   buttons)
               .split(' ');
    QTest::newRow("preferences, threads and program")
        << true << 2
        << QString("mp_twSettings mp_sbThreads mp_cbUseExternalCopyProgram "
                   "mp_leExternalProgramPath mp_pbSelectExternalProgramPath "
                   "mp_leExternalProgramArguments mp_cbSkipBuildList" +
                   buttons)
               .split(' ');
}

void TestKeyboardAccess::keyboardAndNames()
{
    QFETCH(bool, preferences);
    QFETCH(int, tab);
    QFETCH(QStringList, tabOrder);

    GuiMainWindow window;
    ScriptedDialogs dialogs;
    RecordingDesktop desktop;
    GuiSettingsDialog dialog(&dialogs, &desktop);
    QWidget* top = preferences ? static_cast<QWidget*>(&dialog) : &window;
    top->findChild<QTabWidget*>()->setCurrentIndex(tab);
    top->show();
    QVERIFY(QTest::qWaitForWindowExposed(top));

    // The chain from the window round to it again, as Tab walks it.
    QStringList chain;
    QList<const QWidget*> reached;
    for (QWidget* widget = top->nextInFocusChain(); widget != top;
         widget = widget->nextInFocusChain()) {
        QVERIFY2(!reached.contains(widget), "the focus chain loops without its window");
        reached.append(widget);
        if (takesTab(widget, top))
            chain.append(formName(widget));
    }
    QCOMPARE(chain, tabOrder);
    // A radio group is reached at its checked button, whichever that is.
    if (!preferences && tab == 0) {
        window.findChild<QRadioButton*>("mp_rbNoOverwrite")->click();
        QVERIFY(takesTab(window.findChild<QRadioButton*>("mp_rbNoOverwrite"), top));
        QVERIFY(!takesTab(window.findChild<QRadioButton*>("mp_rbOverwriteOlderExistings"), top));
    }
    const QList<QWidget*> widgets = top->findChildren<QWidget*>();
    for (const QWidget* widget : widgets) {
        if (takesTab(widget, top))
            QVERIFY2(reached.contains(widget), qPrintable(formName(widget) + " is out of reach"));
    }

    // Icon-only buttons are announced by a name; Qt's own ones included.
    const QList<QAbstractButton*> buttons = top->findChildren<QAbstractButton*>();
    for (const QAbstractButton* button : buttons) {
        if (button->text().remove('&').trimmed().isEmpty())
            QVERIFY2(!button->accessibleName().isEmpty(),
                     qPrintable(formName(button) + " has neither text nor accessible name"));
    }

    // An accelerator shared by two visible controls would only move the focus between them.
    QStringList texts;
    for (const QAbstractButton* button : buttons) {
        if (button->isVisibleTo(top))
            texts.append(button->text());
    }
    const QList<QLabel*> labels = top->findChildren<QLabel*>();
    for (const QLabel* label : labels) {
        if (label->buddy() && label->isVisibleTo(top))
            texts.append(label->text());
    }
    if (!preferences) {
        const QList<QAction*> menus = window.menuBar()->actions();
        for (const QAction* menu : menus)
            texts.append(menu->text());
    }
    QMap<QKeySequence, QString> owners;
    for (const QString& text : qAsConst(texts)) {
        const QKeySequence key = QKeySequence::mnemonic(text);
        if (key.isEmpty())
            continue;
        QVERIFY2(
            !owners.contains(key),
            qPrintable(QString("\"%1\" and \"%2\" share an accelerator").arg(owners[key], text)));
        owners.insert(key, text);
    }
    QVERIFY2(owners.size() >= 3, "the controls have keyboard accelerators");
}

QTEST_MAIN(TestKeyboardAccess)
#include "tst_keyboardaccess.moc"
