#pragma once

#include <QSettings>

class QIODevice;

// A QSettings format for INI files that may come from anywhere, such as task files. It reads
// and writes the text of Qt's own INI format, so files stay interchangeable with it, but
// every value stays a text or a list of texts. Qt's reader turns "@Variant(...)" values into
// objects through QDataStream, where a few bytes of a file can demand gigabytes of memory;
// this reader keeps such a value as the text it is. It also refuses binary data and lines
// longer than any the program writes, so a hostile file costs little to refuse.
namespace IniFileFormat {

// Longer than any line the program writes: the longest value holds three paths and a few
// messages, each character escaped in at most six bytes.
constexpr int MaxLineLength = 1 << 20;

// Registered with QSettings on first use.
QSettings::Format format();

// Why read() would refuse what is left on the device ("Binary data found on line 3"), or an
// empty text when it would take it. Reads to the end without keeping anything, and does not
// warn.
QString refusal(QIODevice& device);
// Fills map with "Group/Key" entries, each a QString or a QStringList (an invalid QVariant
// for "@Invalid()"). False, after one warning naming the file, when the device holds a NUL
// byte or a line longer than MaxLineLength.
bool read(QIODevice& device, QSettings::SettingsMap& map);
// As read(), for a caller that reports a refusal in its own words: returns its reason (the
// map left as it was) instead of warning, or an empty text.
QString parse(QIODevice& device, QSettings::SettingsMap& map);
// Writes the map as Qt's INI writer would have it read back: numbers and booleans as
// their texts, lists element by element.
bool write(QIODevice& device, const QSettings::SettingsMap& map);

} // namespace IniFileFormat
