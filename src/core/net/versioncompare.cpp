#include "net/versioncompare.h"

#include <QStringList>

namespace {

bool isNumber(const QString& part)
{
    if (part.isEmpty())
        return false;
    for (const QChar c : part) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// Compares two digit strings of any length, so a huge part never overflows.
int compareNumbers(QString left, QString right)
{
    while (left.size() > 1 && left.startsWith(QLatin1Char('0')))
        left.remove(0, 1);
    while (right.size() > 1 && right.startsWith(QLatin1Char('0')))
        right.remove(0, 1);
    if (left.size() != right.size())
        return left.size() < right.size() ? -1 : 1;
    return left.compare(right);
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

} // namespace

int compareVersions(const QString& left, const QString& right)
{
    const QStringList leftParts = left.trimmed().split(QLatin1Char('.'));
    const QStringList rightParts = right.trimmed().split(QLatin1Char('.'));
    const int count = qMax(leftParts.size(), rightParts.size());
    const QString missing = QStringLiteral("0");
    for (int i = 0; i < count; ++i) {
        const QString& l = i < leftParts.size() ? leftParts.at(i) : missing;
        const QString& r = i < rightParts.size() ? rightParts.at(i) : missing;
        const int result = isNumber(l) && isNumber(r) ? compareNumbers(l, r) : l.compare(r);
        if (result != 0)
            return sign(result);
    }
    return 0;
}
