#include "model/inifileformat.h"

#include <QDebug>
#include <QFileDevice>
#include <QIODevice>
#include <QStringList>

namespace {

const QString GeneralGroup = QStringLiteral("General");
const QString InvalidValue = QStringLiteral("@Invalid()");
const QString ByteArrayValue = QStringLiteral("@ByteArray(");
// Qt writes texts that hold a NUL character in this form.
const QString StringValue = QStringLiteral("@String(");

QString deviceName(QIODevice& device)
{
    const auto* file = qobject_cast<QFileDevice*>(&device);
    return file ? file->fileName() : QStringLiteral("(device)");
}

int hexValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

bool isHexDigit(QChar ch)
{
    return ch.unicode() < 0x80 && hexValue(char(ch.unicode())) >= 0;
}

// Splits the device into lines at "\n", "\r\n" and "\r", reading no more than a line ahead.
class LineReader
{
public:
    enum Result
    {
        Line,
        End,
        TooLong
    };

    explicit LineReader(QIODevice& device) : m_device(device) {}

    Result next(QByteArray* line)
    {
        for (;;) {
            int end = m_position;
            while (end < m_buffer.size() && m_buffer.at(end) != '\n' && m_buffer.at(end) != '\r')
                ++end;
            if (end - m_position > IniFileFormat::MaxLineLength)
                return TooLong;
            if (end < m_buffer.size() && (end + 1 < m_buffer.size() || m_atEnd)) {
                *line = m_buffer.mid(m_position, end - m_position);
                const bool pair = m_buffer.at(end) == '\r' && end + 1 < m_buffer.size() &&
                                  m_buffer.at(end + 1) == '\n';
                m_position = end + (pair ? 2 : 1);
                return Line;
            }
            if (m_atEnd) {
                if (m_position >= m_buffer.size())
                    return End;
                *line = m_buffer.mid(m_position);
                m_position = m_buffer.size();
                return Line;
            }
            // Keeps a trailing "\r" until the next byte shows whether "\n" follows it.
            m_buffer.remove(0, m_position);
            m_position = 0;
            const QByteArray more = m_device.read(64 * 1024);
            if (more.isEmpty())
                m_atEnd = true;
            m_buffer.append(more);
        }
    }

private:
    QIODevice& m_device;
    QByteArray m_buffer;
    int m_position = 0;
    bool m_atEnd = false;
};

// A backslash at the end of a line, not itself escaped, continues the line.
bool endsWithContinuation(const QByteArray& line)
{
    int backslashes = 0;
    for (int i = line.size() - 1; i >= 0 && line.at(i) == '\\'; --i)
        ++backslashes;
    return backslashes % 2 == 1;
}

// "%XX" and "%UXXXX" give characters, a backslash is a group separator.
QString unescapedKey(const QByteArray& key)
{
    QString result;
    for (int i = 0; i < key.size(); ++i) {
        const char ch = key.at(i);
        if (ch == '\\') {
            result += QLatin1Char('/');
            continue;
        }
        if (ch == '%') {
            const int digits = i + 1 < key.size() && key.at(i + 1) == 'U' ? 4 : 2;
            const int start = digits == 4 ? i + 2 : i + 1;
            uint value = 0;
            int read = 0;
            while (read < digits && start + read < key.size() &&
                   hexValue(key.at(start + read)) >= 0) {
                value = value * 16 + uint(hexValue(key.at(start + read)));
                ++read;
            }
            if (read == digits) {
                result += QChar(ushort(value));
                i = start + digits - 1;
                continue;
            }
        }
        result += QLatin1Char(ch);
    }
    return result;
}

// Reads the escape sequence that starts with the backslash at text[i] into out and returns
// the index of its last byte. Numeric escapes take every digit that follows and keep the
// low sixteen bits, as Qt's reader does; unknown escapes are dropped.
int readEscape(const QByteArray& text, int i, QString* out)
{
    if (i + 1 >= text.size())
        return i;
    const char ch = text.at(++i);
    switch (ch) {
    case 'a':
        *out += QChar('\a');
        break;
    case 'b':
        *out += QChar('\b');
        break;
    case 'f':
        *out += QChar('\f');
        break;
    case 'n':
        *out += QChar('\n');
        break;
    case 'r':
        *out += QChar('\r');
        break;
    case 't':
        *out += QChar('\t');
        break;
    case 'v':
        *out += QChar('\v');
        break;
    case '"':
    case '\'':
    case '?':
    case '\\':
        *out += QLatin1Char(ch);
        break;
    case 'x': {
        uint value = 0;
        int digits = 0;
        while (i + 1 < text.size() && hexValue(text.at(i + 1)) >= 0) {
            value = value * 16 + uint(hexValue(text.at(++i)));
            ++digits;
        }
        if (digits > 0)
            *out += QChar(ushort(value & 0xffff));
        break;
    }
    default:
        if (ch >= '0' && ch <= '7') {
            uint value = uint(ch - '0');
            while (i + 1 < text.size() && text.at(i + 1) >= '0' && text.at(i + 1) <= '7')
                value = value * 8 + uint(text.at(++i) - '0');
            *out += QChar(ushort(value & 0xffff));
        }
        break;
    }
    return i;
}

// The value one element stands for. Only the forms of plain texts are understood; any
// other "@" form stays the text it is and never becomes an object.
QVariant elementValue(const QString& element)
{
    if (element.startsWith(QLatin1String("@@")))
        return element.mid(1);
    if (element == InvalidValue)
        return QVariant();
    for (const QString& form : {StringValue, ByteArrayValue}) {
        if (element.startsWith(form) && element.endsWith(QLatin1Char(')')))
            return element.mid(form.size(), element.size() - form.size() - 1);
    }
    return element;
}

// Quotes keep blanks, commas and semicolons; outside them blanks around an element are
// dropped, a comma separates list elements and a semicolon starts a comment.
QVariant unescapedValue(const QByteArray& text)
{
    QStringList elements;
    QString current;
    int kept = 0;
    bool quoted = false;
    bool list = false;
    for (int i = 0; i < text.size(); ++i) {
        const char ch = text.at(i);
        if (ch == '"') {
            quoted = !quoted;
            kept = current.size();
        } else if (ch == '\\') {
            i = readEscape(text, i, &current);
            kept = current.size();
        } else if (quoted) {
            current += QLatin1Char(ch);
            kept = current.size();
        } else if (ch == ';') {
            break;
        } else if (ch == ',') {
            current.truncate(kept);
            elements.append(current);
            current.clear();
            kept = 0;
            list = true;
        } else if (ch == ' ' || ch == '\t') {
            if (!current.isEmpty())
                current += QLatin1Char(ch);
        } else {
            current += QLatin1Char(ch);
            kept = current.size();
        }
    }
    current.truncate(kept);
    elements.append(current);

    if (!list)
        return elementValue(elements.first());
    QStringList values;
    for (const QString& element : qAsConst(elements))
        values.append(elementValue(element).toString());
    return values;
}

QByteArray escapedKey(const QString& key)
{
    QByteArray result;
    for (const QChar ch : key) {
        const ushort code = ch.unicode();
        if (ch == QLatin1Char('/'))
            result += '\\';
        else if ((code >= 'a' && code <= 'z') || (code >= 'A' && code <= 'Z') ||
                 (code >= '0' && code <= '9') || code == '_' || code == '-' || code == '.')
            result += char(code);
        else if (code <= 0xff)
            result += '%' + QByteArray::number(code, 16).toUpper().rightJustified(2, '0');
        else
            result += "%U" + QByteArray::number(code, 16).toUpper().rightJustified(4, '0');
    }
    return result;
}

QByteArray escapedText(const QString& text)
{
    const bool quoted =
        !text.isEmpty() && (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char(';')) ||
                            text.contains(QLatin1Char('=')) || text.startsWith(QLatin1Char(' ')) ||
                            text.endsWith(QLatin1Char(' ')));
    QByteArray result;
    if (quoted)
        result += '"';
    // After a hexadecimal escape a hexadecimal digit would be read as part of it.
    bool afterHex = false;
    for (const QChar ch : text) {
        const ushort code = ch.unicode();
        const bool hexNext = afterHex && isHexDigit(ch);
        afterHex = false;
        switch (code) {
        case '\\':
            result += "\\\\";
            continue;
        case '"':
            result += "\\\"";
            continue;
        case '\a':
            result += "\\a";
            continue;
        case '\b':
            result += "\\b";
            continue;
        case '\f':
            result += "\\f";
            continue;
        case '\n':
            result += "\\n";
            continue;
        case '\r':
            result += "\\r";
            continue;
        case '\t':
            result += "\\t";
            continue;
        case '\v':
            result += "\\v";
            continue;
        default:
            break;
        }
        if (code < 0x20 || code >= 0x7f || hexNext) {
            result += "\\x" + QByteArray::number(code, 16);
            afterHex = true;
        } else {
            result += char(code);
        }
    }
    if (quoted)
        result += '"';
    return result;
}

QByteArray escapedElement(const QString& element)
{
    return escapedText(element.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + element : element);
}

QByteArray escapedValue(const QVariant& value)
{
    if (!value.isValid())
        return InvalidValue.toLatin1();
    if (value.userType() == QMetaType::QStringList || value.userType() == QMetaType::QVariantList) {
        const QStringList list = value.toStringList();
        if (list.isEmpty())
            return InvalidValue.toLatin1();
        QList<QByteArray> elements;
        for (const QString& element : list)
            elements.append(escapedElement(element));
        return elements.join(", ");
    }
    if (value.userType() == QMetaType::Bool)
        return value.toBool() ? "true" : "false";
    return escapedElement(value.toString());
}

// Parses the device into map, or only looks for what would refuse it when map is null.
// Returns the reason of a refusal, or an empty text.
QString readLines(QIODevice& device, QSettings::SettingsMap* map)
{
    LineReader reader(device);
    QString group;
    QByteArray line;
    int number = 0;
    for (;;) {
        const int first = number + 1;
        LineReader::Result result = reader.next(&line);
        ++number;
        while (result == LineReader::Line && endsWithContinuation(line)) {
            line.chop(1);
            QByteArray next;
            result = reader.next(&next);
            ++number;
            if (result == LineReader::End)
                result = LineReader::Line;
            else if (line.size() + next.size() > IniFileFormat::MaxLineLength)
                result = LineReader::TooLong;
            line += next;
        }
        if (result == LineReader::End)
            return QString();
        if (result == LineReader::TooLong)
            return QStringLiteral("Line %1 longer than %2 bytes found")
                .arg(first)
                .arg(IniFileFormat::MaxLineLength);
        if (line.contains('\0'))
            return QStringLiteral("Binary data found on line %1").arg(first);
        if (!map)
            continue;

        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(';'))
            continue;
        if (trimmed.startsWith('[')) {
            const int close = trimmed.indexOf(']');
            const QString name = unescapedKey(trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed());
            group = name.isEmpty() || name == GeneralGroup ? QString() : name + QLatin1Char('/');
            continue;
        }
        const int equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QString key = unescapedKey(line.left(equals).trimmed());
        if (!key.isEmpty())
            map->insert(group + key, unescapedValue(line.mid(equals + 1)));
    }
}

} // namespace

namespace IniFileFormat {

QSettings::Format format()
{
    static const QSettings::Format registered =
        QSettings::registerFormat(QStringLiteral("ini"), &read, &write);
    return registered;
}

QString refusal(QIODevice& device)
{
    return readLines(device, nullptr);
}

bool read(QIODevice& device, QSettings::SettingsMap& map)
{
    const QString reason = parse(device, map);
    if (!reason.isEmpty()) {
        qWarning() << qUtf8Printable(reason) << "in" << qUtf8Printable(deviceName(device));
        return false;
    }
    return true;
}

QString parse(QIODevice& device, QSettings::SettingsMap& map)
{
    QSettings::SettingsMap parsed;
    const QString reason = readLines(device, &parsed);
    if (reason.isEmpty())
        map.swap(parsed);
    return reason;
}

bool write(QIODevice& device, const QSettings::SettingsMap& map)
{
    // Keys outside any group go first, under the group Qt gives them.
    QMap<QString, QByteArray> sections;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const int slash = it.key().indexOf(QLatin1Char('/'));
        const QString section = slash < 0 ? QString() : it.key().left(slash);
        const QString key = slash < 0 ? it.key() : it.key().mid(slash + 1);
        sections[section] += escapedKey(key) + '=' + escapedValue(it.value()) + '\n';
    }
    QByteArray text;
    for (auto it = sections.cbegin(); it != sections.cend(); ++it) {
        if (!text.isEmpty())
            text += '\n';
        text += '[' + (it.key().isEmpty() ? GeneralGroup.toLatin1() : escapedKey(it.key())) +
                "]\n" + it.value();
    }
    return device.write(text) == text.size();
}

} // namespace IniFileFormat
