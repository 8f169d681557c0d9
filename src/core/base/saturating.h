#pragma once

#include <QtGlobal>

#include <limits>

// Sums of sizes and byte counts come from files and the file system: a task file may hold
// any number, and a sparse file may be reported huge. A sum that would leave the range of
// qint64 stops at its edge instead of wrapping (undefined behaviour for signed integers).
inline qint64 saturatingAdd(qint64 a, qint64 b)
{
    qint64 sum = 0;
    if (!__builtin_add_overflow(a, b, &sum))
        return sum;
    return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
}

inline qint64 saturatingMultiply(qint64 a, qint64 b)
{
    qint64 product = 0;
    if (!__builtin_mul_overflow(a, b, &product))
        return product;
    return (a < 0) == (b < 0) ? std::numeric_limits<qint64>::max()
                              : std::numeric_limits<qint64>::min();
}
