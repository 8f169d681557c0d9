// Feeds arbitrary text to CopyItem::fromDataString. Beyond surviving it: a refused text
// gives exactly one warning and an accepted one none; the result does not depend on what
// the item held before; and an accepted item survives its own data string unchanged.
#include "fuzzsupport.h"
#include "model/copyitem.h"

using FuzzSupport::require;

namespace {

CopyItem usedItem()
{
    CopyItem item(QStringLiteral("/old/source"), QStringLiteral("/old/destination"), 77, true,
                  QStringLiteral("/old/target"));
    item.elapsed_time = 5;
    item.setDestinationError(QStringLiteral("old error"));
    item.is_checked = true;
    item.info_list << QStringLiteral("old info");
    return item;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::quietMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString input = FuzzSupport::text(data, size);

    CopyItem item;
    FuzzSupport::warnings() = 0;
    const bool parsed = item.fromDataString(input);
    const int expectedWarnings = parsed || input.isEmpty() ? 0 : 1;
    require(FuzzSupport::warnings() == expectedWarnings, "one warning exactly when refused", input);

    CopyItem reused = usedItem();
    require(reused.fromDataString(input) == parsed, "same verdict on a used item", input);
    require(reused.toDataString() == item.toDataString(), "nothing left of a used item", input);

    if (!parsed)
        return 0;
    const QString written = item.toDataString();
    CopyItem again;
    require(again.fromDataString(written), "an accepted item reads back", input);
    // The data string holds every field, so equal strings mean equal items.
    require(again.toDataString() == written, "an accepted item reads back unchanged", input);
    return 0;
}
