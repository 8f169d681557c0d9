#include "app/logger.h"
#include "guilog.h"
#include "scripteddialogs.h"
#include "testsupport.h"

#include <QMenu>
#include <QPlainTextEdit>
#include <QtTest>

namespace {
QPlainTextEdit* view(GuiLog& log)
{
    return log.findChild<QPlainTextEdit*>(QStringLiteral("mp_teLog"));
}

// The log lines without their time stamp "[yyyy-MM-dd hh:mm:ss] ".
QStringList messages(const GuiLog& log)
{
    QStringList lines = log.text().split('\n', Qt::SkipEmptyParts);
    for (QString& line : lines)
        line = line.mid(22);
    return lines;
}
} // namespace

class TestGuiLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::initTestEnvironment(); }
    void cleanup() { Logger::destroyInstance(); }

    void find_data()
    {
        QTest::addColumn<QString>("typed"); // a null text cancels the input box
        QTest::addColumn<int>("moreFinds");
        QTest::addColumn<int>("selectionStart"); // -1: nothing selected
        QTest::addColumn<QStringList>("boxes");
        // The log is "alpha Match" / "beta" / "gamma match": the matches start at 6 and 23.
        QTest::newRow("case ignored") << "MATCH" << 0 << 6 << QStringList();
        QTest::newRow("find next goes on") << "match" << 1 << 23 << QStringList();
        QTest::newRow("wraps once to the start") << "match" << 2 << 6 << QStringList();
        QTest::newRow("white space simplified") << " gamma \t match " << 0 << 17 << QStringList();
        QTest::newRow("absent text") << "delta" << 0 << -1 << QStringList{"delta not found."};
        QTest::newRow("blank answer") << "   " << 0 << -1 << QStringList();
        QTest::newRow("cancelled") << QString() << 0 << -1 << QStringList();
    }

    void find()
    {
        QFETCH(QString, typed);
        QFETCH(int, moreFinds);
        QFETCH(int, selectionStart);
        QFETCH(QStringList, boxes);
        ScriptedDialogs dialogs;
        typed.isNull() ? dialogs.cancelInput() : dialogs.type(typed);
        if (!boxes.isEmpty())
            dialogs.answer("Ok");
        GuiLog log(&dialogs);
        for (const char* line : {"alpha Match", "beta", "gamma match"})
            log.appendLine(line);

        // Without a search text, find next asks for one first.
        for (int i = 0; i <= moreFinds; ++i)
            log.findNextTextInLog();

        const QTextCursor cursor = view(log)->textCursor();
        QCOMPARE(cursor.hasSelection() ? cursor.selectionStart() : -1, selectionStart);
        QCOMPARE(dialogs.pickers, QStringList{"Brindle|Find text|"});
        QCOMPARE(dialogs.texts(), boxes);
        QCOMPARE(dialogs.unexpected, QStringList());
    }

    void refreshShowsEachEntryOnceInOrder()
    {
        Logger* logger = Logger::instance();
        logger->setEchoWhileClosed(false);
        logger->setBufferOnlyWhileClosed(true);
        logger->takeBufferedEntries();
        GuiLog log(nullptr);
        logger->logMessage(QtDebugMsg, "one");
        logger->logMessage(QtWarningMsg, "two");
        log.startRefresh();
        QCOMPARE(messages(log), (QStringList{"one", "[WARNING] two"}));

        // Later entries come with the timer, and none twice.
        logger->logMessage(QtDebugMsg, "three");
        QTRY_COMPARE(messages(log), (QStringList{"one", "[WARNING] two", "three"}));
        log.refreshLog();
        QCOMPARE(messages(log), (QStringList{"one", "[WARNING] two", "three"}));
    }

    void copyNeedsSelection_data()
    {
        QTest::addColumn<bool>("selected");
        QTest::newRow("nothing selected") << false;
        QTest::newRow("text selected") << true;
    }

    void copyNeedsSelection()
    {
        QFETCH(bool, selected);
        GuiLog log(nullptr);
        log.appendLine("some line");
        if (selected)
            view(log)->selectAll();
        const std::unique_ptr<QMenu> menu(log.createContextMenu());
        QAction* copy = menu->actions().last();
        QCOMPARE(copy->text(), "Copy");
        QCOMPARE(copy->isEnabled(), selected);
    }
};

QTEST_MAIN(TestGuiLog)
#include "tst_guilog.moc"
