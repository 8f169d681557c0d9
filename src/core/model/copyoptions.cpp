#include "model/copyoptions.h"

#include <QFile>

#include <QDebug>
#include <QSettings>

#include <climits>

namespace {

const QString patternSeparator = QStringLiteral(", ");
// The texts after the eleventh: each names an option that is on. Older readers look at
// the twelfth only, for the first of these.
const QString verifyWord = QStringLiteral("verify");
const QString ignoreCaseWord = QStringLiteral("ignorecase");
const QString portableNamesWord = QStringLiteral("portablenames");

// Split at the separators no backslash escapes: "a\\, b" (a pattern for the name "a, b")
// stays one pattern.
QStringList splitPatterns(const QString& text)
{
    QStringList result;
    QString part;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\\') && i + 1 < text.size()) {
            part += text.at(i);
            part += text.at(++i);
        } else if (text.midRef(i, patternSeparator.size()) == patternSeparator) {
            if (!part.isEmpty())
                result << part;
            part.clear();
            i += patternSeparator.size() - 1;
        } else {
            part += text.at(i);
        }
    }
    if (!part.isEmpty())
        result << part;
    return result;
}

QString boolText(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

// The patterns of an INI list as the data string can hold them, since it is how they are
// saved again. An entry holding ", " is split there, as reading the data string would. The
// data-string separator would cut a saved task in the wrong places; it becomes the "?"
// wildcard, which still matches it. An empty entry, which an INI list value of one empty
// text gives, would be a filter that matches nothing and is dropped.
QStringList storablePatterns(const QStringList& list)
{
    QStringList result;
    for (QString entry : list) {
        if (entry.contains(QChar(0x2028))) {
            qWarning()
                << "Invalid character in pattern found in CopyOptions::loadFromSettings(...):"
                << entry;
            entry.replace(QChar(0x2028), QLatin1Char('?'));
        }
        result << splitPatterns(entry);
    }
    return result;
}

// A stored number outside [low, high], or no number at all, gives the fallback.
int rangedSetting(const QVariantMap& group, const QString& key, int absent, int low, int high,
                  int fallback)
{
    const QVariant value = group.value(key);
    if (!value.isValid())
        return absent;
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok && number >= low && number <= high ? number : fallback;
}

} // namespace

CopyOptions::CopyOptions() : m_skipErrorOnFiles{QStringLiteral("desktop.ini")} {}

bool CopyOptions::operator==(const CopyOptions& other) const
{
    return m_copyMode == other.m_copyMode && m_copyHiddenFiles == other.m_copyHiddenFiles &&
           m_overwriteMode == other.m_overwriteMode && m_copyFilters == other.m_copyFilters &&
           m_skipFilters == other.m_skipFilters && m_skipErrorOnFiles == other.m_skipErrorOnFiles &&
           m_recursive == other.m_recursive && m_copySymbolicLinks == other.m_copySymbolicLinks &&
           m_copyEmptyFolders == other.m_copyEmptyFolders &&
           m_destinationMode == other.m_destinationMode && m_verifyCopies == other.m_verifyCopies &&
           m_ignoreCase == other.m_ignoreCase &&
           m_replaceForbiddenNames == other.m_replaceForbiddenNames &&
           m_fileDecisions == other.m_fileDecisions;
}

QStringList CopyOptions::toDataString() const
{
    // The first text holds the place of a flag that is no longer used.
    QStringList list{QStringLiteral("0"),
                     QString::number(m_overwriteMode),
                     boolText(m_copyHiddenFiles),
                     boolText(m_recursive),
                     boolText(m_copySymbolicLinks),
                     m_copyFilters.join(patternSeparator),
                     m_skipFilters.join(patternSeparator),
                     m_skipErrorOnFiles.join(patternSeparator),
                     boolText(m_copyEmptyFolders),
                     QString::number(m_destinationMode),
                     QString::number(m_copyMode)};
    // Only when set: the texts of every other task stay as they were.
    if (m_verifyCopies)
        list << verifyWord;
    if (m_ignoreCase)
        list << ignoreCaseWord;
    if (m_replaceForbiddenNames)
        list << portableNamesWord;
    return list;
}

bool CopyOptions::fromDataString(QStringList list)
{
    if (list.size() < 8) {
        qWarning() << "Invalid argument found in CopyOptions::fromDataString(...):"
                   << list.join(QLatin1Char('|'));
        return false;
    }

    auto fail = [&list](const char* message) {
        qWarning() << message << list.join(QLatin1Char('|'));
        return false;
    };
    // Takes the next element as a decimal number within [low, high].
    auto takeNumber = [&list](int& value, int low, int high) {
        bool ok = false;
        const int number = list.takeFirst().toInt(&ok);
        if (!ok || number < low || number > high)
            return false;
        value = number;
        return true;
    };
    auto takeBool = [&takeNumber](bool& value) {
        int number = 0;
        if (!takeNumber(number, INT_MIN, INT_MAX))
            return false;
        value = number == 1;
        return true;
    };
    auto takePatterns = [&list](QStringList& value) {
        const QString text = list.takeFirst();
        if (!text.isEmpty())
            value = splitPatterns(text);
    };

    int obsolete = 0;
    if (!takeNumber(obsolete, INT_MIN, INT_MAX))
        return fail("Invalid obsolete m_verifyOnlyCopiedFiles found in "
                    "CopyOptions::fromDataString(...):");
    if (!takeNumber(m_overwriteMode, NoOverwrite, OverwriteContent))
        return fail("Invalid m_overwriteMode found in CopyOptions::fromDataString(...):");
    if (!takeBool(m_copyHiddenFiles))
        return fail("Invalid m_copyHiddenFiles found in CopyOptions::fromDataString(...):");
    if (!takeBool(m_recursive))
        return fail("Invalid m_recursive found in CopyOptions::fromDataString(...):");
    if (!takeBool(m_copySymbolicLinks))
        return fail("Invalid m_copySymbolicLinks found in CopyOptions::fromDataString(...):");
    takePatterns(m_copyFilters);
    takePatterns(m_skipFilters);
    takePatterns(m_skipErrorOnFiles);

    // Older data strings end here.
    if (list.isEmpty())
        return true;
    if (!takeBool(m_copyEmptyFolders))
        return fail("Invalid m_copyEmptyFolders found in CopyOptions::fromDataString(...):");
    if (list.isEmpty())
        return true;
    if (!takeNumber(m_destinationMode, Collate, Normal))
        return fail("Invalid m_destinationMode found in CopyOptions::fromDataString(...):");
    if (list.isEmpty())
        return true;
    if (!takeNumber(m_copyMode, Copy, FixErrors))
        return fail("Invalid m_copyMode found in CopyOptions::fromDataString(...):");
    // Anything else after it is a later program's, and ignored.
    m_verifyCopies = !list.isEmpty() && list.first() == verifyWord;
    m_ignoreCase = list.contains(ignoreCaseWord);
    m_replaceForbiddenNames = list.contains(portableNamesWord);
    return true;
}

QStringList CopyOptions::toDescriptionList() const
{
    const QString number = QStringLiteral("%1=%2");
    const QString quoted = QStringLiteral("%1=\"%2\"");
    QStringList list{
        number.arg(QStringLiteral("CopyMode"), QString::number(m_copyMode)),
        number.arg(QStringLiteral("DestinationMode"), QString::number(m_destinationMode)),
        number.arg(QStringLiteral("Recursive"), boolText(m_recursive)),
        number.arg(QStringLiteral("CopySymbolicLinks"), boolText(m_copySymbolicLinks)),
        number.arg(QStringLiteral("CopyEmptyFolders"), boolText(m_copyEmptyFolders)),
        number.arg(QStringLiteral("HiddenFiles"), boolText(m_copyHiddenFiles)),
        number.arg(QStringLiteral("OverwriteMode"), QString::number(m_overwriteMode)),
        quoted.arg(QStringLiteral("CopyFilters"), m_copyFilters.join(patternSeparator)),
        quoted.arg(QStringLiteral("SkipFilters"), m_skipFilters.join(patternSeparator)),
        quoted.arg(QStringLiteral("SkipErrorOnFiles"), m_skipErrorOnFiles.join(patternSeparator))};
    if (m_verifyCopies)
        list << number.arg(QStringLiteral("VerifyCopies"), boolText(true));
    if (m_ignoreCase)
        list << number.arg(QStringLiteral("IgnoreCase"), boolText(true));
    if (m_replaceForbiddenNames)
        list << number.arg(QStringLiteral("ReplaceForbiddenNames"), boolText(true));
    return list;
}

void CopyOptions::loadFromSettings(QSettings& settings)
{
    settings.beginGroup(groupName());
    QVariantMap group;
    for (const QString& key : settings.childKeys())
        group.insert(key, settings.value(key));
    settings.endGroup();
    loadFromGroup(group);
}

void CopyOptions::loadFromGroup(const QVariantMap& group)
{
    m_copyMode = rangedSetting(group, QStringLiteral("Mode"), Copy, Copy, FixErrors, Copy);
    m_copyHiddenFiles = group.value(QStringLiteral("HiddenFiles"), true).toBool();
    m_overwriteMode = rangedSetting(group, QStringLiteral("OverwriteMode"), OverwriteOlder,
                                    NoOverwrite, OverwriteContent, NoOverwrite);
    m_copyFilters = storablePatterns(group.value(QStringLiteral("CopyFilters")).toStringList());
    m_skipFilters = storablePatterns(group.value(QStringLiteral("SkipFilters")).toStringList());
    if (group.contains(QStringLiteral("SkipErrorOnFiles")))
        m_skipErrorOnFiles =
            storablePatterns(group.value(QStringLiteral("SkipErrorOnFiles")).toStringList());
    m_recursive = group.value(QStringLiteral("Recursive"), true).toBool();
    m_copySymbolicLinks = group.value(QStringLiteral("CopySymbolicLinks"), true).toBool();
    m_copyEmptyFolders = group.value(QStringLiteral("CopyEmptyFolders"), true).toBool();
    m_destinationMode =
        rangedSetting(group, QStringLiteral("DestinationMode"), Normal, Collate, Normal, Normal);
    m_verifyCopies = group.value(QStringLiteral("VerifyCopies"), false).toBool();
    m_ignoreCase = group.value(QStringLiteral("IgnoreCase"), false).toBool();
    m_replaceForbiddenNames = group.value(QStringLiteral("ReplaceForbiddenNames"), false).toBool();
}

namespace {

const char* const decisionWords[] = {"overwrite", "skip", "rename"};

} // namespace

QString CopyOptions::fileDecisionText(const QString& relativePath, int decision)
{
    if (decision < DecideOverwrite || decision > DecideRename)
        return QString();
    return QLatin1String(decisionWords[decision]) + QLatin1Char(' ') +
           QString::fromLatin1(QFile::encodeName(relativePath).toPercentEncoding("/"));
}

bool CopyOptions::fileDecisionFromText(const QString& text, QString* relativePath, int* decision)
{
    const int space = text.indexOf(QLatin1Char(' '));
    if (space < 0)
        return false;
    const QString word = text.left(space);
    int found = -1;
    for (int index = DecideOverwrite; index <= DecideRename; ++index) {
        if (word == QLatin1String(decisionWords[index]))
            found = index;
    }
    const QString path =
        QFile::decodeName(QByteArray::fromPercentEncoding(text.mid(space + 1).toLatin1()));
    if (found < 0 || path.isEmpty() || path.startsWith(QLatin1Char('/')) ||
        path.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return false;
    *relativePath = path;
    *decision = found;
    return true;
}
