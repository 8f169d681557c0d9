// The forms' layouts under the user's fonts: every text of a button or label has the room
// it asks for, on every tab, so nothing is cut off however large the fonts are.
#include "guimainwindow.h"
#include "guisettingsdialog.h"
#include "scripteddialogs.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QScopeGuard>
#include <QTabWidget>
#include <QtTest>

class TestFormLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::initTestEnvironment(); }
    void nothingCutOff_data();
    void nothingCutOff();
};

void TestFormLayout::nothingCutOff_data()
{
    QTest::addColumn<bool>("preferences");
    QTest::addColumn<qreal>("fontScale");
    QTest::newRow("window") << false << 1.0;
    QTest::newRow("window, fonts twice as large") << false << 2.0;
    QTest::newRow("preferences") << true << 1.0;
    QTest::newRow("preferences, fonts twice as large") << true << 2.0;
}

void TestFormLayout::nothingCutOff()
{
    QFETCH(bool, preferences);
    QFETCH(qreal, fontScale);

    const QFont standard = QApplication::font();
    QFont font = standard;
    font.setPointSizeF(standard.pointSizeF() * fontScale);
    QApplication::setFont(font);
    const auto restoreFont = qScopeGuard([&standard] { QApplication::setFont(standard); });

    GuiMainWindow window;
    ScriptedDialogs dialogs;
    RecordingDesktop desktop;
    GuiSettingsDialog dialog(&dialogs, &desktop);
    QWidget* top = preferences ? static_cast<QWidget*>(&dialog) : &window;
    top->show();
    QVERIFY(QTest::qWaitForWindowExposed(top));
    auto* tabs = top->findChild<QTabWidget*>();
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        QCoreApplication::processEvents(); // the layouts settle
        const QList<QWidget*> widgets = top->findChildren<QWidget*>();
        for (const QWidget* widget : widgets) {
            const auto* button = qobject_cast<const QAbstractButton*>(widget);
            const auto* label = qobject_cast<const QLabel*>(widget);
            const QString text = button ? button->text() : label ? label->text() : QString();
            if (text.isEmpty() || !widget->isVisible())
                continue;
            const QSize needed = widget->minimumSizeHint();
            QVERIFY2(widget->width() >= needed.width() && widget->height() >= needed.height(),
                     qPrintable(QString("\"%1\" (%2) is %3x%4, its text needs %5x%6")
                                    .arg(text, widget->objectName())
                                    .arg(widget->width())
                                    .arg(widget->height())
                                    .arg(needed.width())
                                    .arg(needed.height())));
        }
    }
}

QTEST_MAIN(TestFormLayout)
#include "tst_formlayout.moc"
