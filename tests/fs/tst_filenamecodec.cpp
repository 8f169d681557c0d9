#include "fs/filenamecodec.h"
#include "testsupport.h"

#include <QTextDecoder>
#include <QtTest>

class TestFileNameCodec : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::initTestEnvironment(); }
    void bytesComeBack_data();
    void bytesComeBack();
};

void TestFileNameCodec::bytesComeBack_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const auto esc = [](uchar byte) { return QString(FileNameCodec::escapeByte(byte)); };
    QTest::newRow("ASCII") << QByteArray("a/b.txt") << "a/b.txt";
    QTest::newRow("valid UTF-8, two to four bytes")
        << QByteArray("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80") << QString::fromUtf8("é€😀");
    QTest::newRow("pair whose low half looks escaped")
        << QByteArray("\xf0\x90\x82\x80") << QString::fromUcs4(U"\U00010080");
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xe9") << "caf" + esc(0xe9);
    QTest::newRow("sequence cut short by ASCII") << QByteArray("\xc3(") << esc(0xc3) + "(";
    QTest::newRow("sequence cut short by the end")
        << QByteArray("a\xe2\x82") << "a" + esc(0xe2) + esc(0x82);
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << esc(0xc0) + esc(0xaf);
    QTest::newRow("encoded surrogate")
        << QByteArray("\xed\xa0\x80") << esc(0xed) + esc(0xa0) + esc(0x80);
    QTest::newRow("beyond U+10FFFF")
        << QByteArray("\xf4\x90\x80\x80") << esc(0xf4) + esc(0x90) + esc(0x80) + esc(0x80);
    QTest::newRow("leading byte-order mark kept in a name")
        << QByteArray("\xef\xbb\xbfx") << QString(QChar(0xfeff)) + "x";
}

// Through the installed codec as QFile does, in one piece and as a stream cut anywhere.
void TestFileNameCodec::bytesComeBack()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QVERIFY(FileNameCodec::isInstalled());
    QCOMPARE(QFile::decodeName(bytes), text);
    QCOMPARE(QFile::encodeName(text), bytes);
    // A stream keeps an unfinished sequence for the next piece; the "!" ends it.
    for (int cut = 1; cut < bytes.size(); ++cut) {
        QTextDecoder decoder(QTextCodec::codecForLocale(), QTextCodec::IgnoreHeader);
        const QString first = decoder.toUnicode(bytes.left(cut));
        QCOMPARE(first + decoder.toUnicode(bytes.mid(cut) + "!"), text + "!");
    }
}

QTEST_GUILESS_MAIN(TestFileNameCodec)
#include "tst_filenamecodec.moc"
