#include "FuzzText.h"
#include "prices/PlatformExport.h"
#include "store/TorvaneError.h"

#include <cstdlib>

// Platform exports: converted line for line, or refused with a message.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QStringList lines = TextFile::splitLines(fuzzText(data, size));
    try {
        const QStringList out = PlatformExport::convert(lines, int(size % 25) - 12);
        for (const QString& line : out)
            if (line.count(u',') < 7)
                std::abort();
    } catch (const TorvaneError&) {
    }
    return 0;
}
