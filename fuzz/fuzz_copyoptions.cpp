// Feeds arbitrary lists of texts (the input split at U+2028, as a task's data string is)
// to CopyOptions::fromDataString. A refused list gives exactly one warning and an accepted
// one none; the values it accepts are in range; and accepted options survive their own
// data string, except that an empty skip-error list cannot be written (an empty element
// keeps the default) and comes back as the default.
#include "fuzzsupport.h"
#include "model/copyoptions.h"

#include <QStringList>

using FuzzSupport::require;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::quietMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString input = FuzzSupport::text(data, size);
    const QStringList list = input.split(QChar(0x2028), Qt::KeepEmptyParts);

    CopyOptions options;
    FuzzSupport::warnings() = 0;
    const bool parsed = options.fromDataString(list);
    require(FuzzSupport::warnings() == (parsed ? 0 : 1), "one warning exactly when refused", input);
    // Even a refused list leaves only values that the rest of the program can handle.
    require(options.m_copyMode >= CopyOptions::Copy && options.m_copyMode <= CopyOptions::FixErrors,
            "copy mode in range", input);
    require(options.m_overwriteMode >= CopyOptions::NoOverwrite &&
                options.m_overwriteMode <= CopyOptions::OverwriteContent,
            "overwrite mode in range", input);
    require(options.m_destinationMode == CopyOptions::Collate ||
                options.m_destinationMode == CopyOptions::Normal,
            "destination mode in range", input);
    for (const QStringList* patterns :
         {&options.m_copyFilters, &options.m_skipFilters, &options.m_skipErrorOnFiles}) {
        for (const QString& pattern : *patterns)
            require(!pattern.isEmpty(), "no empty pattern", input);
    }
    if (!parsed)
        return 0;

    CopyOptions expected = options;
    if (expected.m_skipErrorOnFiles.isEmpty())
        expected.m_skipErrorOnFiles = CopyOptions().m_skipErrorOnFiles;
    const QStringList written = options.toDataString();
    require(written.size() == 11 + int(options.m_verifyCopies) + int(options.m_ignoreCase) +
                                  int(options.m_replaceForbiddenNames),
            "eleven texts written, one more for a verified copy, a case ignored and names replaced",
            input);
    CopyOptions again;
    require(again.fromDataString(written), "accepted options read back", input);
    require(again == expected, "accepted options read back unchanged", input);
    return 0;
}
