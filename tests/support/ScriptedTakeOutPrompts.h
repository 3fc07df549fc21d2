#pragma once

#include "workspace/TakeOut.h"

#include <QTest>

#include <functional>

namespace korimbo {

// The take-out's dialogs answered by the test: each hook plays the user. A dialog without a hook fails
// the test and is cancelled.
struct ScriptedTakeOutPrompts final : TakeOutPrompts {
    std::function<bool(bool& nameAfterPlain)> encrypted;
    std::function<bool(const QList<ChangePasswordText>&, bool&, NewPassword&, const PasswordCheck&)> newPassword;
    std::function<WindowResult(const TakeOutWindowRequest&, CTakeOut&)> window;
    QList<TakeOutWindowRequest> windows; // every window shown

    bool AskEncryptedTakeOut(bool& nameAfterPlain) override {
        if (!encrypted) {
            QTest::qFail("the still-encrypted dialog was not expected", __FILE__, __LINE__);
            return false;
        }
        return encrypted(nameAfterPlain);
    }
    bool AskNewPassword(const QList<ChangePasswordText>& registered, bool& nameAfterPlain, NewPassword& chosen,
                        const PasswordCheck& check) override {
        if (!newPassword) {
            QTest::qFail("the password dialog was not expected", __FILE__, __LINE__);
            return false;
        }
        return newPassword(registered, nameAfterPlain, chosen, check);
    }
    WindowResult ShowTakeOutWindow(const TakeOutWindowRequest& request, CTakeOut& takeOut) override {
        windows.append(request);
        if (!window) {
            QTest::qFail("the take-out window was not expected", __FILE__, __LINE__);
            return WindowResult::kCancelled;
        }
        return window(request, takeOut);
    }

    // The typed password `password` with `hint`, as a person types it; the check decides as OK does.
    static std::function<bool(const QList<ChangePasswordText>&, bool&, NewPassword&, const PasswordCheck&)>
    Typed(const QString& password, const QString& hint, bool nameAfterPlain) {
        return [=](const QList<ChangePasswordText>&, bool& naming, NewPassword& chosen, const PasswordCheck& check) {
            if (!check(password, hint))
                return false;
            naming = nameAfterPlain;
            chosen.password = password;
            chosen.hint = hint;
            return true;
        };
    }
};

} // namespace korimbo
