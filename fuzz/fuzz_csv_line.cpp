#include "FuzzText.h"
#include "csv/CsvExchange.h"

#include <cstdlib>

namespace {
void check(bool ok) {
    if (!ok)
        std::abort();
}
} // namespace

// The CSV import's line rules: a line gives exactly the table's number of fields, and fields
// that hold no comma come back from the line the export writes of them.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const int n = int(data[0] % 70) - 2; // the catalogue allows up to 60 columns
    const QString text = fuzzText(data + 1, size - 1);
    for (const QString& line : TextFile::splitLines(text)) {
        const QStringList fields = CsvExchange::splitFields(line, n);
        check(fields.size() == std::max(n, 0));
        if (n <= 0)
            continue;
        for (int k = 0; k < n - 1; ++k)
            check(!fields[k].contains(u','));
        const qsizetype commas = line.count(u',');
        if (commas >= n - 1) {
            check(fields.join(u',') == line);
            check(CsvExchange::splitFields(fields.join(u','), n) == fields);
        } else {
            // Fields after the last comma's piece are empty; the rest of the line is the last.
            const QStringList pieces = fields.mid(0, commas);
            for (int k = int(commas); k < n - 1; ++k)
                check(fields[k].isEmpty());
            check((pieces + QStringList{fields.last()}).join(u',') == line);
        }
    }
    return 0;
}
