#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Helpers shared by the fuzz targets. A target checks properties as well as surviving
// the input: a broken property aborts, and libFuzzer keeps the input as a crash.
namespace FuzzSupport {

inline int& warnings()
{
    static int count = 0;
    return count;
}

// Counts warnings instead of printing them: printing every rejected input would make
// output, not parsing, the bulk of the work. BRINDLE_FUZZ_VERBOSE=1 prints them as well,
// for looking into a finding.
inline void quietMessages()
{
    static const bool verbose = qEnvironmentVariableIsSet("BRINDLE_FUZZ_VERBOSE");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtWarningMsg || type == QtCriticalMsg)
            ++warnings();
        if (verbose)
            std::fprintf(stderr, "%s\n", qUtf8Printable(text));
    });
}

inline QString text(const uint8_t* data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(size));
}

[[noreturn]] inline void fail(const char* property, const QString& input)
{
    std::fprintf(stderr, "Property broken: %s\nInput: %s\n", property,
                 input.toUtf8().toPercentEncoding(" /\\:.-_~").constData());
    std::abort();
}

inline void require(bool holds, const char* property, const QString& input)
{
    if (!holds)
        fail(property, input);
}

} // namespace FuzzSupport
