#include "ui/UserAction.h"

QString outOfMemoryText() {
    return QStringLiteral("メモリが足りません");
}
