#include "session/Session.h"

Session::Session(Dialogs& dialogs, const QString& catalogueDir)
    : store(reg, dm, dialogs, catalogueDir) {}
