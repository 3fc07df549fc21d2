#pragma once

#include "ScriptedQueue.h"
#include "workspace/PasswordPrompts.h"

#include <QList>
#include <QString>
#include <QTest>

#include <deque>
#include <functional>
#include <utility>

namespace korimbo {

// The password dialogs answered from queues. Strict like ScriptedInteraction: a dialog with no answer
// queued fails the running test (and cancels). The modes asked are recorded. Like the real dialogs, the
// setting dialog and the list run their checks on OK and stay open on a refusal: the next reply of the
// queue is then taken as the user's next try.
class ScriptedPrompts final : public PasswordPrompts {
public:
    struct Reply {
        Answer result;
        QString password;
        QString hint;
    };
    struct ListReply {
        Answer result;
        QList<ChangePasswordText> entries;
    };
    std::deque<Reply> passwords;
    std::deque<Reply> newPasswords;
    std::deque<std::pair<Answer, bool>> network;
    std::deque<AdminChoice> adminChoices;
    std::deque<ListReply> lists;
    QList<PromptMode> promptModes;
    QList<SetMode> setModes;
    // The entries each list dialog was opened with.
    QList<QList<ChangePasswordText>> shownLists;
    // Step 4 of the setting dialog's OK (the window's dialog asks the password manager): true passes.
    std::function<bool(const QString&)> newPasswordCheck;

    Answer AskPassword(PromptMode mode, QString& password) override {
        promptModes.append(mode);
        return Take(passwords, password, nullptr, QStringLiteral("password prompt"));
    }
    Answer AskNewPassword(SetMode mode, const QString&, QString& password, QString& hint) override {
        setModes.append(mode);
        for (;;) {
            const Answer result = Take(newPasswords, password, &hint, QStringLiteral("password setting"));
            if (result != Answer::kOk || !newPasswordCheck || newPasswordCheck(password))
                return result;
        }
    }
    Answer AskNetworkRegistration(const QString& folder, bool& readOnly) override {
        const auto [result, box] =
            Pop(network, std::pair<Answer, bool>{Answer::kCancel, false}, QStringLiteral("network box for ") + folder);
        readOnly = box;
        return result;
    }
    AdminChoice AskAdminChoice() override {
        return Pop(adminChoices, AdminChoice::kCancel, QStringLiteral("administrator choice"));
    }
    Answer AskChangePasswordList(QList<ChangePasswordText>& entries, const ListCheck& check) override {
        shownLists.append(entries);
        for (;;) {
            const ListReply reply = Pop(lists, ListReply{Answer::kCancel, {}}, QStringLiteral("change-password list"));
            if (reply.result != Answer::kOk)
                return reply.result;
            int row = -1;
            if (check(reply.entries, row)) {
                entries = reply.entries;
                return Answer::kOk;
            }
        }
    }

private:
    template <typename T>
    static T Pop(std::deque<T>& queue, T fallback, const QString& what) {
        return PopScripted(queue, fallback, QStringLiteral("A password dialog came with no answer scripted: ") + what);
    }
    static Answer Take(std::deque<Reply>& queue, QString& password, QString* hint, const QString& what) {
        const Reply reply = Pop(queue, Reply{Answer::kCancel, QString(), QString()}, what);
        password = reply.password;
        if (hint)
            *hint = reply.hint;
        return reply.result;
    }
};

} // namespace korimbo
