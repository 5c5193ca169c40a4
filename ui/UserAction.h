#pragma once

#include "store/Dialogs.h"
#include "store/TorvaneError.h"

#include <new>
#include <utility>

// Runs one user action from a slot or event handler. An error that ends it is shown through the
// dialogs and the window goes on; nothing is thrown through Qt's event delivery. Returns whether
// the action ran to its end.
template <typename Action> bool runAction(Dialogs& dialogs, Action&& action) {
    try {
        std::forward<Action>(action)();
        return true;
    } catch (const TorvaneError& e) {
        dialogs.error(e.text());
    } catch (const std::bad_alloc&) {
        dialogs.error(outOfMemoryText());
    }
    return false;
}
