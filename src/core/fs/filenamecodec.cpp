#include "fs/filenamecodec.h"

#include <QTextCodec>

#include <cstring>

namespace {

// Pending bytes of a sequence cut at the end of a chunk, or a high surrogate, are kept in
// the converter state between calls (a QTextStream reads in chunks).
constexpr int maxPending = 3;

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
    // Only bytes a converter state carries over are joined to the input in a copy.
    QByteArray joined;
    if (state && state->remainingChars > 0) {
        for (int k = 0; k < state->remainingChars; ++k)
            joined.append(char(state->state_data[k]));
        state->remainingChars = 0;
        joined.append(in, length);
        in = joined.constData();
        length = joined.size();
    }
    const auto* data = reinterpret_cast<const uchar*>(in);
    const int size = length;
    int i = 0;
    // As Qt's UTF-8 codec: a stream drops a leading byte-order mark unless told not to.
    if (state && !(state->flags & QTextCodec::IgnoreHeader)) {
        static const char bom[] = "\xef\xbb\xbf";
        if (size < 3 && size > 0 && memcmp(bom, in, size_t(size)) == 0) {
            for (int k = 0; k < size; ++k)
                state->state_data[k] = data[k];
            state->remainingChars = size;
            return QString();
        }
        if (size >= 3 && memcmp(bom, in, 3) == 0)
            i = 3;
        state->flags |= QTextCodec::IgnoreHeader;
    }
    // Written in place: no byte gives more than one UTF-16 unit (four give two).
    QString out(size - i, Qt::Uninitialized);
    QChar* const begin = out.data();
    QChar* q = begin;
    while (i < size) {
        const uchar byte = data[i];
        if (byte < 0x80) {
            *q++ = QChar(char16_t(byte));
            ++i;
            continue;
        }
        uint cp = 0;
        const int sequence = sequenceLength(data, i, size, &cp);
        if (sequence > 0) {
            if (cp > 0xffff) {
                *q++ = QChar(QChar::highSurrogate(cp));
                *q++ = QChar(QChar::lowSurrogate(cp));
            } else {
                *q++ = QChar(char16_t(cp));
            }
            i += sequence;
        } else if (sequence < 0 && state && size - i <= maxPending) {
            for (int k = 0; i + k < size; ++k)
                state->state_data[k] = data[i + k];
            state->remainingChars = size - i;
            break;
        } else {
            *q++ = FileNameCodec::escapeByte(byte);
            ++i;
        }
    }
    out.truncate(int(q - begin));
    return out;
}

char* putUtf8(char* p, uint cp)
{
    if (cp < 0x80) {
        *p++ = char(cp);
    } else if (cp < 0x800) {
        *p++ = char(0xc0 | (cp >> 6));
        *p++ = char(0x80 | (cp & 0x3f));
    } else if (cp < 0x10000) {
        *p++ = char(0xe0 | (cp >> 12));
        *p++ = char(0x80 | ((cp >> 6) & 0x3f));
        *p++ = char(0x80 | (cp & 0x3f));
    } else {
        *p++ = char(0xf0 | (cp >> 18));
        *p++ = char(0x80 | ((cp >> 12) & 0x3f));
        *p++ = char(0x80 | ((cp >> 6) & 0x3f));
        *p++ = char(0x80 | (cp & 0x3f));
    }
    return p;
}

QByteArray encodeText(const QChar* in, int length, QTextCodec::ConverterState* state)
{
    // Every path of a run passes here: written in place, one byte a unit and a byte-order
    // mark while the text is ASCII, then room for three bytes a unit (a surrogate pair
    // gives four for two).
    QByteArray out(length + 3, Qt::Uninitialized);
    char* begin = out.data();
    char* p = begin;
    bool widened = false;
    if (state && !(state->flags & QTextCodec::IgnoreHeader)) {
        *p++ = char(0xef), *p++ = char(0xbb), *p++ = char(0xbf);
        state->flags |= QTextCodec::IgnoreHeader;
    }
    char16_t pendingHigh = 0;
    if (state && state->remainingChars > 0) {
        pendingHigh = char16_t(state->state_data[0]);
        state->remainingChars = 0;
    }
    int i = 0;
    // Most names are ASCII throughout.
    if (!pendingHigh) {
        const char16_t* units = reinterpret_cast<const char16_t*>(in);
        // Four units at a time while none has a bit above 0x7f.
        for (quint64 block; i + 4 <= length; i += 4, p += 4) {
            memcpy(&block, units + i, sizeof block);
            if (block & 0xff80ff80ff80ff80ULL)
                break;
            p[0] = char(units[i]), p[1] = char(units[i + 1]);
            p[2] = char(units[i + 2]), p[3] = char(units[i + 3]);
        }
        while (i < length && units[i] < 0x80)
            *p++ = char(units[i++]);
    }
    for (; i < length; ++i) {
        const char16_t u = in[i].unicode();
        if (u < 0x80 && !pendingHigh) {
            *p++ = char(u);
            continue;
        }
        if (!widened) {
            const int used = int(p - begin);
            out.resize(3 * length + 3);
            begin = out.data();
            p = begin + used;
            widened = true;
        }
        if (pendingHigh) {
            const char16_t high = pendingHigh;
            pendingHigh = 0;
            if (QChar::isLowSurrogate(u)) {
                p = putUtf8(p, QChar::surrogateToUcs4(high, u));
                continue;
            }
            *p++ = '?';
            if (state)
                ++state->invalidChars;
        }
        if (QChar::isHighSurrogate(u)) {
            pendingHigh = u;
        } else if (const uchar byte = FileNameCodec::escapedByte(QChar(u))) {
            *p++ = char(byte);
        } else if (QChar::isLowSurrogate(u)) {
            *p++ = '?';
            if (state)
                ++state->invalidChars;
        } else {
            p = putUtf8(p, u);
        }
    }
    if (pendingHigh) {
        if (state) {
            state->state_data[0] = pendingHigh;
            state->remainingChars = 1;
        } else {
            *p++ = '?';
        }
    }
    out.truncate(int(p - begin));
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
