#include "fs/filenamecodec.h"

#include <QTextCodec>

namespace {

// Pending bytes of a sequence cut at the end of a chunk, or a high surrogate, are kept in
// the converter state between calls (a QTextStream reads in chunks).
constexpr int maxPending = 3;

void appendCodePoint(QString* out, uint cp)
{
    if (cp > 0xffff) {
        out->append(QChar(QChar::highSurrogate(cp)));
        out->append(QChar(QChar::lowSurrogate(cp)));
    } else {
        out->append(QChar(char16_t(cp)));
    }
}

// Length of the valid sequence at data[i], 0 when invalid; -1 when valid so far but cut
// off by the end.
int sequenceLength(const uchar* data, int i, int size, uint* codePoint)
{
    const uchar lead = data[i];
    int need;
    uint cp;
    uint minimum;
    if ((lead & 0xe0) == 0xc0) {
        need = 1, cp = lead & 0x1f, minimum = 0x80;
    } else if ((lead & 0xf0) == 0xe0) {
        need = 2, cp = lead & 0x0f, minimum = 0x800;
    } else if ((lead & 0xf8) == 0xf0) {
        need = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    for (int k = 1; k <= need; ++k) {
        if (i + k >= size)
            return -1;
        if ((data[i + k] & 0xc0) != 0x80)
            return 0;
        cp = (cp << 6) | (data[i + k] & 0x3f);
    }
    // Overlong forms and encoded surrogates would not come back as the same bytes.
    if (cp < minimum || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
        return 0;
    *codePoint = cp;
    return need + 1;
}

QString decodeBytes(const char* in, int length, QTextCodec::ConverterState* state)
{
    QByteArray buffer;
    if (state && state->remainingChars > 0) {
        for (int k = 0; k < state->remainingChars; ++k)
            buffer.append(char(state->state_data[k]));
        state->remainingChars = 0;
    }
    buffer.append(in, length);
    const auto* data = reinterpret_cast<const uchar*>(buffer.constData());
    const int size = buffer.size();
    int i = 0;
    // As Qt's UTF-8 codec: a stream drops a leading byte-order mark unless told not to.
    if (state && !(state->flags & QTextCodec::IgnoreHeader)) {
        if (size < 3 && QByteArray("\xef\xbb\xbf").startsWith(buffer) && size > 0) {
            for (int k = 0; k < size; ++k)
                state->state_data[k] = data[k];
            state->remainingChars = size;
            return QString();
        }
        if (buffer.startsWith("\xef\xbb\xbf"))
            i = 3;
        state->flags |= QTextCodec::IgnoreHeader;
    }
    QString out;
    out.reserve(size - i);
    while (i < size) {
        const uchar byte = data[i];
        if (byte < 0x80) {
            out.append(QChar(char16_t(byte)));
            ++i;
            continue;
        }
        uint cp = 0;
        const int sequence = sequenceLength(data, i, size, &cp);
        if (sequence > 0) {
            appendCodePoint(&out, cp);
            i += sequence;
        } else if (sequence < 0 && state && size - i <= maxPending) {
            for (int k = 0; i + k < size; ++k)
                state->state_data[k] = data[i + k];
            state->remainingChars = size - i;
            break;
        } else {
            out.append(FileNameCodec::escapeByte(byte));
            ++i;
        }
    }
    return out;
}

void appendUtf8(QByteArray* out, uint cp)
{
    if (cp < 0x80) {
        out->append(char(cp));
    } else if (cp < 0x800) {
        out->append(char(0xc0 | (cp >> 6)));
        out->append(char(0x80 | (cp & 0x3f)));
    } else if (cp < 0x10000) {
        out->append(char(0xe0 | (cp >> 12)));
        out->append(char(0x80 | ((cp >> 6) & 0x3f)));
        out->append(char(0x80 | (cp & 0x3f)));
    } else {
        out->append(char(0xf0 | (cp >> 18)));
        out->append(char(0x80 | ((cp >> 12) & 0x3f)));
        out->append(char(0x80 | ((cp >> 6) & 0x3f)));
        out->append(char(0x80 | (cp & 0x3f)));
    }
}

QByteArray encodeText(const QChar* in, int length, QTextCodec::ConverterState* state)
{
    QByteArray out;
    out.reserve(length + length / 2);
    if (state && !(state->flags & QTextCodec::IgnoreHeader)) {
        out.append("\xef\xbb\xbf");
        state->flags |= QTextCodec::IgnoreHeader;
    }
    char16_t pendingHigh = 0;
    if (state && state->remainingChars > 0) {
        pendingHigh = char16_t(state->state_data[0]);
        state->remainingChars = 0;
    }
    for (int i = 0; i < length; ++i) {
        const char16_t u = in[i].unicode();
        if (pendingHigh) {
            const char16_t high = pendingHigh;
            pendingHigh = 0;
            if (QChar::isLowSurrogate(u)) {
                appendUtf8(&out, QChar::surrogateToUcs4(high, u));
                continue;
            }
            out.append('?');
            if (state)
                ++state->invalidChars;
        }
        if (QChar::isHighSurrogate(u)) {
            pendingHigh = u;
        } else if (const uchar byte = FileNameCodec::escapedByte(QChar(u))) {
            out.append(char(byte));
        } else if (QChar::isLowSurrogate(u)) {
            out.append('?');
            if (state)
                ++state->invalidChars;
        } else {
            appendUtf8(&out, u);
        }
    }
    if (pendingHigh) {
        if (state) {
            state->state_data[0] = pendingHigh;
            state->remainingChars = 1;
        } else {
            out.append('?');
        }
    }
    return out;
}

class LosslessUtf8Codec : public QTextCodec
{
public:
    QByteArray name() const override { return QByteArrayLiteral("x-brindle-utf-8-names"); }
    int mibEnum() const override { return -2106; }

protected:
    QString convertToUnicode(const char* in, int length, ConverterState* state) const override
    {
        return decodeBytes(in, length, state);
    }
    QByteArray convertFromUnicode(const QChar* in, int length, ConverterState* state) const override
    {
        return encodeText(in, length, state);
    }
};

bool s_installed = false;

bool needsVisibleEscape(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x061c || c == 0x200e || c == 0x200f ||
           c == 0x2028 || c == 0x2029 || (c >= 0x202a && c <= 0x202e) ||
           (c >= 0x2066 && c <= 0x2069);
}

} // namespace

namespace FileNameCodec {

void install()
{
    if (s_installed)
        return;
    const QTextCodec* current = QTextCodec::codecForLocale();
    // UTF-8 (106) and US-ASCII (3): other locales keep their own codec.
    if (current && current->mibEnum() != 106 && current->mibEnum() != 3)
        return;
    // Qt keeps every codec it is given until the program ends.
    QTextCodec::setCodecForLocale(new LosslessUtf8Codec);
    s_installed = true;
}

bool isInstalled()
{
    return s_installed;
}

QString decode(const QByteArray& bytes)
{
    return decodeBytes(bytes.constData(), bytes.size(), nullptr);
}

QByteArray encode(const QString& text)
{
    return encodeText(text.constData(), text.size(), nullptr);
}

QString visibleText(const QString& text)
{
    QString safe;
    safe.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        const char16_t c = ch.unicode();
        // A surrogate not in a pair: the byte of a name that is not UTF-8, or broken text.
        const bool lone =
            (ch.isHighSurrogate() && (i + 1 == text.size() || !text.at(i + 1).isLowSurrogate())) ||
            (ch.isLowSurrogate() && (i == 0 || !text.at(i - 1).isHighSurrogate()));
        if (lone && escapedByte(ch))
            safe.append(
                QStringLiteral("\\x%1").arg(uint(escapedByte(ch)), 2, 16, QLatin1Char('0')));
        else if (!lone && !needsVisibleEscape(c))
            safe.append(ch);
        else if (c < 0x100)
            safe.append(QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0')));
        else
            safe.append(QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0')));
    }
    return safe;
}

} // namespace FileNameCodec
