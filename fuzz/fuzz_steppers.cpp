#include "FuzzText.h"
#include "records/Steppers.h"
#include "store/Dialogs.h"
#include "store/TorvaneError.h"

#include <cstdlib>

namespace {
class SilentDialogs : public Dialogs {
public:
    void message(const QString&) override {}
    bool confirm(const QString&) override { return true; }
    void error(const QString&) override {}
    QString openFile() override { return {}; }
};
} // namespace

// The steppers read whatever the user typed: they either step or refuse, never crash.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = fuzzText(data, size);
    SilentDialogs dialogs;
    for (int key : {Vk::Up, Vk::Down}) {
        QString date = text;
        Steppers::ucDt(date, key, (size & 2) ? Qt::ShiftModifier : Qt::NoModifier, dialogs);
        if (date != text && date.size() != 10)
            std::abort();
        QString time = text;
        try {
            Steppers::ucTm(time, key);
            if (time.size() != 5)
                std::abort();
        } catch (const TorvaneError&) {
        }
        QString number = text;
        try {
            Steppers::ucNm(number, key);
            if (number.size() != 2)
                std::abort();
        } catch (const TorvaneError&) {
        }
    }
    return 0;
}
