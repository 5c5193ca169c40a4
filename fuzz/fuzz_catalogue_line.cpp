#include "FuzzText.h"
#include "store/Store.h"

#include <cstdlib>

// The catalogue loader's line rules: every line gives exactly the table's number of values.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = fuzzText(data, size);
    for (const QString& line : TextFile::splitLines(text)) {
        const QStringList tbl = Store::catalogueValues(line, 6, [](int i) { return i > 3; });
        const QStringList strc =
            Store::catalogueValues(line, 9, [](int i) { return i == 5 || i == 6; });
        if (tbl.size() != 6 || strc.size() != 9)
            std::abort();
    }
    return 0;
}
