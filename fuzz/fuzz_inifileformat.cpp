// Feeds arbitrary text to the INI reader used for files from elsewhere, and arbitrary texts
// to its writer. What the reader accepts, and any text or list of texts, must read back
// unchanged from what the writer makes of it.
#include "fuzzsupport.h"
#include "model/inifileformat.h"

#include <QBuffer>
#include <QStringList>

using FuzzSupport::require;

namespace {

QSettings::SettingsMap readBack(const QSettings::SettingsMap& map, const QString& input)
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    require(IniFileFormat::write(buffer, map), "the writer writes", input);
    buffer.seek(0);
    QSettings::SettingsMap read;
    require(IniFileFormat::read(buffer, read), "the reader takes what the writer wrote", input);
    return read;
}

// QSettings gives keys without empty parts; the reader keeps what the text says.
bool plainKey(const QString& key)
{
    return !key.startsWith(QLatin1Char('/')) && !key.endsWith(QLatin1Char('/')) &&
           !key.contains(QLatin1String("//"));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::quietMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const QString input = QString::fromLatin1(bytes);

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QSettings::SettingsMap parsed;
    const bool accepted = IniFileFormat::read(buffer, parsed);
    require(accepted == !bytes.contains('\0'), "refused exactly when binary", input);
    if (accepted) {
        QSettings::SettingsMap plain;
        for (auto it = parsed.cbegin(); it != parsed.cend(); ++it) {
            require(it.value().userType() == QMetaType::QString ||
                        it.value().userType() == QMetaType::QStringList || !it.value().isValid(),
                    "every value is a text or a list of texts", input);
            if (plainKey(it.key()))
                plain.insert(it.key(), it.value());
        }
        require(readBack(plain, input) == plain, "what was read reads back unchanged", input);
    }

    const QString text = FuzzSupport::text(data, size);
    QSettings::SettingsMap written;
    written.insert(QStringLiteral("Task/Text"), text);
    written.insert(QStringLiteral("Task/List"), text.split(QLatin1Char('|')));
    const QSettings::SettingsMap read = readBack(written, text);
    require(read.value(QStringLiteral("Task/Text")).toString() == text, "a text reads back", text);
    require(read.value(QStringLiteral("Task/List")).toStringList() == text.split(QLatin1Char('|')),
            "a list reads back", text);
    return 0;
}
