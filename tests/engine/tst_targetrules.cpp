#include "engine/targetrules.h"
#include "fs/filenamecodec.h"
#include "fs/platform.h"

#include <QtTest>

#include <sys/sysmacros.h>

using Family = TargetRules::Family;
Q_DECLARE_METATYPE(TargetRules::Family)

// The names, sizes and kinds of file system that a destination refuses, read from the mount
// table and the volume's own boot sector.
class TestTargetRules : public QObject
{
    Q_OBJECT

private slots:
    void nameProblem_data();
    void nameProblem();
    void portableName_data();
    void portableName();
    void portableLinkText_data();
    void portableLinkText();
    void familyOf_data();
    void familyOf();
    void mountOf_data();
    void mountOf();
    void bootSectorType_data();
    void bootSectorType();
    void limitsByFamily();
};

void TestTargetRules::nameProblem_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Family>("family");
    QTest::addColumn<QString>("code");

    const QString units255(255, QChar(0x65e5)); // 765 bytes, 255 UTF-16 units
    QTest::newRow("plain name on exFAT") << "report.txt" << Family::Exfat << "";
    QTest::newRow("colon on exFAT") << "a:b" << Family::Exfat << "forbidden-character";
    QTest::newRow("question mark on FAT") << "why?" << Family::Fat << "forbidden-character";
    QTest::newRow("backslash on NTFS") << "a\\b" << Family::Ntfs << "forbidden-character";
    QTest::newRow("pipe on SMB") << "a|b" << Family::Smb << "forbidden-character";
    QTest::newRow("newline on exFAT") << "a\nb" << Family::Exfat << "forbidden-character";
    QTest::newRow("colon kept on ext4") << "a:b" << Family::Posix << "";
    QTest::newRow("CON bare") << "CON" << Family::Fat << "reserved-name";
    QTest::newRow("con with extension") << "con.txt" << Family::Ntfs << "reserved-name";
    QTest::newRow("LPT9 with two extensions") << "Lpt9.tar.gz" << Family::Exfat << "reserved-name";
    QTest::newRow("COM0 is no device") << "COM0" << Family::Fat << "";
    QTest::newRow("COM10 is no device") << "COM10.txt" << Family::Fat << "";
    QTest::newRow("CONSOLE is no device") << "console" << Family::Fat << "";
    QTest::newRow("CON kept on ext4") << "CON" << Family::Posix << "";
    QTest::newRow("trailing dot") << "notes." << Family::Exfat << "trailing-dot-or-space";
    QTest::newRow("trailing space") << "notes " << Family::Smb << "trailing-dot-or-space";
    QTest::newRow("leading dot is hidden only") << ".profile" << Family::Fat << "";
    QTest::newRow("255 CJK units fit exFAT") << units255 << Family::Exfat << "";
    QTest::newRow("256 units do not") << units255 + "x" << Family::Ntfs << "name-too-long";
    QTest::newRow("255 CJK units are 765 bytes on ext4")
        << units255 << Family::Posix << "name-too-long";
    QTest::newRow("300 ASCII bytes on ext4")
        << QString(300, 'a') << Family::Posix << "name-too-long";
    // A name is measured in bytes only when its units could pass 255 of them.
    QTest::newRow("85 three-byte units are 255 bytes on ext4")
        << QString(85, QChar(0x20ac)) << Family::Posix << "";
    QTest::newRow("86 three-byte units are 258 bytes on ext4")
        << QString(86, QChar(0x20ac)) << Family::Posix << "name-too-long";
    QTest::newRow("127 two-byte units and an ASCII one are 255 bytes on ext4")
        << QString(127, QChar(0xe9)) + "a" << Family::Posix << "";
    const QString latin1 = FileNameCodec::decode("caf\xe9");
    QTest::newRow("Latin-1 byte on exFAT") << latin1 << Family::Exfat << "name-not-utf8";
    QTest::newRow("Latin-1 byte on ext4") << latin1 << Family::Posix << "";
}

void TestTargetRules::portableName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Family>("family");
    QTest::addColumn<QString>("expected");

    QTest::newRow("a name taken as it is") << "report.txt" << Family::Exfat << "report.txt";
    QTest::newRow("nothing replaced on ext4") << "a:b?" << Family::Posix << "a:b?";
    QTest::newRow("every forbidden character")
        << "\"*:<>?\\|" << Family::Ntfs
        << QString::fromUtf8("\uff02\uff0a\uff1a\uff1c\uff1e\uff1f\uff3c\uff5c");
    QTest::newRow("controls as their pictures")
        << QString("a\nb\x01\x7f") << Family::Fat << QString::fromUtf8("a\u240ab\u2401\u2421");
    QTest::newRow("trailing dots and spaces")
        << "notes. ." << Family::Smb << QString::fromUtf8("notes\uff0e\u2420\uff0e");
    QTest::newRow("reserved name with an extension")
        << "con.txt" << Family::Exfat << QString::fromUtf8("\uff43on.txt");
    QTest::newRow("reserved name with a trailing dot")
        << "NUL." << Family::Fat << QString::fromUtf8("NUL\uff0e");
    QTest::newRow("bytes that are not UTF-8")
        << FileNameCodec::decode("caf\xe9:\xff") << Family::Exfat
        << QString::fromUtf8("caf%E9\uff1a%FF");
    QTest::newRow("UTF-8 kept beside a replaced byte")
        << FileNameCodec::decode("\xc3\xa9\xe9") << Family::Exfat << QString::fromUtf8("\u00e9%E9");
    QTest::newRow("too long stays: no look-alike mends it")
        << QString(256, 'a') << Family::Ntfs << QString(256, 'a');
}

void TestTargetRules::portableName()
{
    QFETCH(QString, name);
    QFETCH(Family, family);
    QFETCH(QString, expected);
    const QString mapped = TargetRules::portableName(name, family);
    QCOMPARE(mapped, expected);
    // What it writes is a name the family takes, but for its length.
    if (name.size() <= 255)
        QCOMPARE(TargetRules::nameProblem(mapped, family), QString());
}

void TestTargetRules::portableLinkText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("depth"); // folders between the tree's top and the link
    QTest::addColumn<QString>("expected");

    QTest::newRow("beside the link") << "x:y" << 0 << QString::fromUtf8("x\uff1ay");
    QTest::newRow("through a folder, plain names kept")
        << "d?/plain/x:y" << 0 << QString::fromUtf8("d\uff1f/plain/x\uff1ay");
    QTest::newRow("up and down inside the tree")
        << "../a:b/./c" << 1 << QString::fromUtf8("../a\uff1ab/./c");
    QTest::newRow("above the top: outside, kept whole") << "../x:y" << 0 << "../x:y";
    QTest::newRow("out and back in: kept whole") << "../../src/x:y" << 1 << "../../src/x:y";
    QTest::newRow("doubled and trailing slashes")
        << "a:b//c/" << 0 << QString::fromUtf8("a\uff1ab//c/");
}

void TestTargetRules::portableLinkText()
{
    QFETCH(QString, text);
    QFETCH(int, depth);
    QFETCH(QString, expected);
    QCOMPARE(TargetRules::portableLinkText(text, depth, Family::Exfat), expected);
    QCOMPARE(TargetRules::portableLinkText(text, depth, Family::Posix), text);
}

void TestTargetRules::nameProblem()
{
    QFETCH(QString, name);
    QFETCH(Family, family);
    QFETCH(QString, code);
    QCOMPARE(TargetRules::nameProblem(name, family), code);
}

void TestTargetRules::familyOf_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<qulonglong>("magic");
    QTest::addColumn<Family>("family");

    QTest::newRow("vfat") << "vfat" << 0x4d44ULL << Family::Fat;
    QTest::newRow("msdos") << "msdos" << 0ULL << Family::Fat;
    QTest::newRow("kernel exFAT") << "exfat" << 0x2011bab0ULL << Family::Exfat;
    QTest::newRow("FUSE exFAT, subtype") << "fuseblk.exfat" << 0x65735546ULL << Family::Exfat;
    QTest::newRow("FUSE exFAT, told by boot sector") << "fuseblk.exfat" << 0ULL << Family::Exfat;
    QTest::newRow("ntfs3") << "ntfs3" << 0x7366746eULL << Family::Ntfs;
    QTest::newRow("ntfs-3g") << "fuseblk.ntfs-3g" << 0x65735546ULL << Family::Ntfs;
    QTest::newRow("unknown fuseblk takes Windows rules")
        << "fuseblk" << 0x65735546ULL << Family::Ntfs;
    QTest::newRow("fusefat") << "fuse.fusefat" << 0x65735546ULL << Family::Fat;
    QTest::newRow("cifs") << "cifs" << 0xff534d42ULL << Family::Smb;
    QTest::newRow("sshfs is no Windows volume") << "fuse.sshfs" << 0x65735546ULL << Family::Posix;
    QTest::newRow("type unread, magic tells") << "" << 0x4d44ULL << Family::Fat;
    QTest::newRow("ext4") << "ext4" << 0xef53ULL << Family::Posix;
}

void TestTargetRules::familyOf()
{
    QFETCH(QString, type);
    QFETCH(qulonglong, magic);
    QFETCH(Family, family);
    QCOMPARE(TargetRules::familyOf(type, static_cast<unsigned long>(magic)), family);
}

void TestTargetRules::mountOf_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("source");

    const QByteArray root = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n";
    QTest::newRow("optional fields before the separator")
        << root + "40 22 7:0 / /media/st rw shared:5 master:2 - fuseblk /dev/loop0 rw\n"
        << "fuseblk"
        << "/dev/loop0";
    QTest::newRow("a later mount of the device hides the first")
        << root + "40 22 7:0 / /a rw - vfat /dev/loop0 rw\n41 22 7:0 / /b rw - exfat /dev/x rw\n"
        << "exfat"
        << "/dev/x";
    QTest::newRow("space in the source") << root + "40 22 7:0 / /m rw - cifs //srv/my\\040share rw"
                                         << "cifs"
                                         << "//srv/my share";
    QTest::newRow("not mounted") << root << ""
                                 << "";
    QTest::newRow("line cut short") << QByteArray("40 22 7:0 / /m rw -") << ""
                                    << "";
}

void TestTargetRules::mountOf()
{
    QFETCH(QByteArray, table);
    QFETCH(QString, type);
    QFETCH(QString, source);
    QString foundType;
    QString foundSource;
    QCOMPARE(Platform::mountOf(table, makedev(7, 0), &foundType, &foundSource), !type.isEmpty());
    QCOMPARE(foundType, type);
    QCOMPARE(foundSource, source);
}

void TestTargetRules::bootSectorType_data()
{
    QTest::addColumn<QByteArray>("sector");
    QTest::addColumn<QString>("type");

    const QByteArray blank(512, '\0');
    QTest::newRow("exFAT") << QByteArray(blank).replace(3, 8, "EXFAT   ") << "exfat";
    QTest::newRow("NTFS") << QByteArray(blank).replace(3, 8, "NTFS    ") << "ntfs";
    QTest::newRow("FAT32") << QByteArray(blank).replace(82, 8, "FAT32   ") << "vfat";
    QTest::newRow("FAT16") << QByteArray(blank).replace(54, 8, "FAT16   ") << "vfat";
    QTest::newRow("ext4 has none there") << blank << "";
    QTest::newRow("a short read") << QByteArray("\xeb\x76\x90"
                                                "EXFAT   ")
                                  << "";
}

void TestTargetRules::bootSectorType()
{
    QFETCH(QByteArray, sector);
    QFETCH(QString, type);
    QCOMPARE(Platform::bootSectorType(sector), type);
}

void TestTargetRules::limitsByFamily()
{
    QCOMPARE(TargetRules::maxFileSize(Family::Fat), (qint64(4) << 30) - 1);
    QCOMPARE(TargetRules::maxFileSize(Family::Exfat), qint64(-1));
    // A file of one byte takes a block of data and one for its entry.
    QCOMPARE(TargetRules::spaceFor(1, 4096), qint64(8192));
    QCOMPARE(TargetRules::spaceFor(0, 4096), qint64(4096));
    QVERIFY(TargetRules::pathTooLong(QString(4096, 'a'), Family::Posix));
    // PATH_MAX counts bytes: 1365 three-byte units take 4095 of them, 1366 take 4098.
    QVERIFY(!TargetRules::pathTooLong(QString(1365, QChar(0x20ac)), Family::Posix));
    QVERIFY(TargetRules::pathTooLong(QString(1366, QChar(0x20ac)), Family::Posix));
    QVERIFY(!TargetRules::pathTooLong(QString(4095, 'a'), Family::Posix));
    QVERIFY(!TargetRules::pathTooLong(QString(4096, 'a'), Family::Exfat));
}

QTEST_GUILESS_MAIN(TestTargetRules)
#include "tst_targetrules.moc"
