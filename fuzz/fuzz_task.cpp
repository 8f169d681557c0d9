// Feeds arbitrary text to Task::fromDataString. A refused text gives one warning (two when
// the options refused it: theirs and the task's) and an accepted one none; an accepted task
// survives its own data string (an empty skip-error list aside, which the options cannot write) and
// nothing of an earlier task leaks into the result.
#include "fuzzsupport.h"
#include "model/task.h"

using FuzzSupport::require;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::quietMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString input = FuzzSupport::text(data, size);

    Task task;
    FuzzSupport::warnings() = 0;
    const bool parsed = task.fromDataString(input);
    const bool optionsRefused = !parsed && input.count(QChar(0x2028)) >= 2;
    require(FuzzSupport::warnings() == (parsed           ? 0
                                        : optionsRefused ? 2
                                                         : 1),
            "warnings only when refused, one from each part that refused", input);

    Task used;
    used.m_sourcePath = QStringLiteral("/old/source");
    used.m_destinationPath = QStringLiteral("/old/destination");
    used.updateName();
    used.m_options.m_copyMode = CopyOptions::Move;
    used.m_options.m_copyFilters = QStringList{QStringLiteral("*.old")};
    used.m_options.m_skipErrorOnFiles = QStringList{QStringLiteral("old.ini")};
    require(used.fromDataString(input) == parsed, "same verdict on a used task", input);
    if (!parsed)
        return 0;
    require(used == task, "nothing left of a used task", input);

    Task expected = task;
    if (expected.m_options.m_skipErrorOnFiles.isEmpty())
        expected.m_options.m_skipErrorOnFiles = CopyOptions().m_skipErrorOnFiles;
    const QString written = task.toDataString();
    Task again;
    require(again.fromDataString(written), "an accepted task reads back", input);
    require(again == expected, "an accepted task reads back unchanged", input);
    return 0;
}
