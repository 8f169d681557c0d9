#pragma once

#include <QByteArray>
#include <QString>

// File names are bytes. Most are UTF-8, but old archives and old disks hold names that are
// not, and Qt's own UTF-8 decoding turns their bytes into U+FFFD: such a file could be
// listed but never opened, copied or named again. This codec, installed as the locale's,
// decodes valid UTF-8 as usual and every byte of an invalid sequence as one lone surrogate
// U+DC80..U+DCFF, and encodes those back into the same byte; so every path that
// QFile::encodeName receives from QFile::decodeName comes back byte for byte.
namespace FileNameCodec {

// Makes the codec the locale's, where the locale's is UTF-8 (or the ASCII of the C locale).
// Call once on the main thread before any other thread starts; later calls do nothing.
void install();
// Whether install() replaced the locale's codec.
bool isInstalled();

// The byte that an escaped character stands for; 0 for any other character.
inline uchar escapedByte(QChar c)
{
    const char16_t u = c.unicode();
    return u >= 0xdc80 && u <= 0xdcff ? uchar(u - 0xdc00) : 0;
}
inline QChar escapeByte(uchar byte)
{
    return QChar(char16_t(0xdc00 + byte));
}

// The codec's two directions, usable without installing it.
QString decode(const QByteArray& bytes);
QByteArray encode(const QString& text);

// The text with every control character (and every character that reorders text on
// screen) written as an escape, and each byte that is not UTF-8 as \xNN: a file name
// cannot move the cursor, recolour a terminal or split a line. A backslash stays as it is.
QString visibleText(const QString& text);

} // namespace FileNameCodec
