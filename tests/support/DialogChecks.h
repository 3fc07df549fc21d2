#pragma once

#include "ui/DialogHook.h"

#include <QTest>

namespace korimbo {

// For ui tests: fails the running test when a dialog filler queued with DialogHook::Queue was never
// used (the dialog it was meant for did not come), then drops the leftovers so the next test starts
// clean. Returns false on a failure.
inline bool CheckDialogsSettled(const char* file, int line) {
    if (!DialogHook::Pending())
        return true;
    DialogHook::Clear();
    QTest::qFail("A dialog answer queued with DialogHook::Queue was never used", file, line);
    return false;
}

} // namespace korimbo

// Every ui fixture's cleanup(): fails the test when a queued dialog answer was left unused.
#define VERIFY_DIALOGS_SETTLED()                                                                                       \
    do {                                                                                                               \
        if (!korimbo::CheckDialogsSettled(__FILE__, __LINE__))                                                         \
            return;                                                                                                    \
    } while (false)
