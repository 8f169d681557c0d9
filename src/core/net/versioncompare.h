#pragma once

#include <QString>

// Orders two dotted version texts such as "2.1.10" and "2.1.4": part by part, numbers
// compared as numbers, a missing part counting as 0, and a part that is not a plain
// number compared as text. Returns a negative number, 0 or a positive number when
// left is older than, the same as or newer than right.
int compareVersions(const QString& left, const QString& right);
