#include "engine/overwritedecision.h"
#include "model/copyoptions.h"

#include <QtTest>

using Verdict = OverwriteDecision::Verdict;
Q_DECLARE_METATYPE(OverwriteDecision::Verdict)

class TestOverwriteDecision : public QObject
{
    Q_OBJECT

private slots:
    void decides_data();
    void decides();
};

void TestOverwriteDecision::decides_data()
{
    // What the two entries' status tells: "older", "newer", "size", "created", "link",
    // "folder" (the destination is a real folder), "pseudo" (the source is a file of /proc or
    // /sys); "untrusted": dates do not count.
    QTest::addColumn<QString>("facts");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("copyMode");
    QTest::addColumn<Verdict>("verdict");
    const int copy = CopyOptions::Copy;
    const int verify = CopyOptions::Verify;
    QTest::newRow("always: an equal file is replaced")
        << "" << int(CopyOptions::OverwriteAlways) << copy << Verdict::Replace;
    QTest::newRow("always: a folder in the way stays")
        << "folder size" << int(CopyOptions::OverwriteAlways) << copy << Verdict::CannotOverwrite;
    QTest::newRow("never: an older file stays")
        << "older size" << int(CopyOptions::NoOverwrite) << copy << Verdict::Skip;
    QTest::newRow("never, verify: another size is an error")
        << "size" << int(CopyOptions::NoOverwrite) << verify << Verdict::Differs;
    QTest::newRow("never, verify: an equal file passes")
        << "" << int(CopyOptions::NoOverwrite) << verify << Verdict::Skip;
    QTest::newRow("verify, dates untrusted: another date passes")
        << "older untrusted" << int(CopyOptions::NoOverwrite) << verify << Verdict::Skip;
    QTest::newRow("verify: another date still has its content checked")
        << "older" << int(CopyOptions::NoOverwrite) << verify << Verdict::Skip;
    QTest::newRow("verify: another creation date too")
        << "created" << int(CopyOptions::OverwriteAlways) << verify << Verdict::Skip;
    QTest::newRow("verify, pseudo-file: its size and date leave it to the bytes")
        << "pseudo older size" << int(CopyOptions::NoOverwrite) << verify << Verdict::Skip;
    QTest::newRow("never, pseudo-file: a copy still skips nothing but by the mode")
        << "pseudo size" << int(CopyOptions::OverwriteDifferent) << copy << Verdict::Replace;
    QTest::newRow("older: an older file is replaced")
        << "older" << int(CopyOptions::OverwriteOlder) << copy << Verdict::Replace;
    QTest::newRow("older: a newer file stays")
        << "newer size" << int(CopyOptions::OverwriteOlder) << copy << Verdict::Skip;
    QTest::newRow("older: the same date and another size is replaced, as rsync --update does")
        << "size" << int(CopyOptions::OverwriteOlder) << copy << Verdict::Replace;
    QTest::newRow("older: the same date and size stays")
        << "" << int(CopyOptions::OverwriteOlder) << copy << Verdict::Skip;
    QTest::newRow("different: another size is replaced")
        << "size" << int(CopyOptions::OverwriteDifferent) << copy << Verdict::Replace;
    QTest::newRow("different: another creation date is replaced")
        << "created" << int(CopyOptions::OverwriteDifferent) << copy << Verdict::Replace;
    QTest::newRow("different: an equal file stays")
        << "" << int(CopyOptions::OverwriteDifferent) << copy << Verdict::Skip;
    QTest::newRow("different: a link to another target is replaced")
        << "link linkdiffers" << int(CopyOptions::OverwriteDifferent) << copy << Verdict::Replace;
    const int content = CopyOptions::OverwriteContent;
    QTest::newRow("content: another size is replaced unread")
        << "size" << content << copy << Verdict::Replace;
    QTest::newRow("content: another date leaves it to the bytes")
        << "newer" << content << copy << Verdict::CompareContent;
    QTest::newRow("content: an equal status leaves it to the bytes")
        << "" << content << copy << Verdict::CompareContent;
    QTest::newRow("content: a pseudo-file's size tells nothing")
        << "pseudo" << content << copy << Verdict::Replace;
    QTest::newRow("content: a link to the same target stays")
        << "link older" << content << copy << Verdict::Skip;
    QTest::newRow("content: a folder in the way stays")
        << "folder size" << content << copy << Verdict::CannotOverwrite;
}

void TestOverwriteDecision::decides()
{
    QFETCH(QString, facts);
    QFETCH(int, mode);
    QFETCH(int, copyMode);
    QFETCH(Verdict, verdict);
    const QStringList words = facts.split(' ', Qt::SkipEmptyParts);
    OverwriteDecision::Comparison c;
    c.older = words.contains("older");
    c.newer = words.contains("newer");
    c.sizeDiffers = words.contains("size");
    c.createdDiffers = words.contains("created");
    c.isLink = words.contains("link");
    c.linkDiffers = words.contains("linkdiffers");
    c.destinationIsFolder = words.contains("folder");
    c.pseudoFile = words.contains("pseudo");
    const OverwriteDecision::Result result =
        OverwriteDecision::decide(c, mode, copyMode, words.contains("untrusted"));
    QCOMPARE(result.verdict, verdict);
    // Another size is always told, whatever the verdict.
    if (c.sizeDiffers && !c.older && !c.newer && !c.isLink)
        QVERIFY(!result.notes.isEmpty());
    // An error always has its reason as the last note.
    if (verdict == Verdict::Differs)
        QVERIFY(!result.notes.isEmpty());
}

QTEST_GUILESS_MAIN(TestOverwriteDecision)
#include "tst_overwritedecision.moc"
