#pragma once

#include "workspace/PasswordPrompts.h"

#include <QList>
#include <QString>

#include <deque>
#include <functional>
#include <utility>

namespace korimbo {

// The password dialogs answered from queues; an empty queue cancels. The modes asked are recorded.
// Like the real dialogs, the setting dialog and the list run their checks on OK and stay open on a
// refusal: the next reply of the queue is then taken as the user's next try.
class ScriptedPrompts final : public PasswordPrompts {
public:
    struct Reply {
        int result;
        QString password;
        QString hint;
    };
    struct ListReply {
        int result;
        QList<ChangePasswordText> entries;
    };
    std::deque<Reply> passwords;
    std::deque<Reply> newPasswords;
    std::deque<std::pair<int, bool>> network;
    std::deque<int> adminChoices;
    std::deque<ListReply> lists;
    QList<int> promptModes;
    QList<int> setModes;
    // The entries each list dialog was opened with.
    QList<QList<ChangePasswordText>> shownLists;
    // Step 4 of the setting dialog's OK (the window's dialog asks the password manager).
    std::function<int(const QString&)> newPasswordCheck;

    int AskPassword(int mode, QString& password) override {
        promptModes.append(mode);
        return Pop(passwords, password, nullptr);
    }
    int AskNewPassword(int mode, const QString&, QString& password, QString& hint) override {
        setModes.append(mode);
        for (;;) {
            const int result = Pop(newPasswords, password, &hint);
            if (result != kOk || !newPasswordCheck || newPasswordCheck(password) == 0)
                return result;
        }
    }
    int AskNetworkRegistration(const QString&, bool& readOnly) override {
        if (network.empty())
            return kCancel;
        const auto [result, box] = network.front();
        network.pop_front();
        readOnly = box;
        return result;
    }

    int AskAdminChoice() override {
        if (adminChoices.empty())
            return kCancel;
        const int choice = adminChoices.front();
        adminChoices.pop_front();
        return choice;
    }
    int AskChangePasswordList(QList<ChangePasswordText>& entries, const ListCheck& check) override {
        shownLists.append(entries);
        for (;;) {
            if (lists.empty())
                return kCancel;
            const ListReply reply = lists.front();
            lists.pop_front();
            if (reply.result != kOk)
                return reply.result;
            int row = -1;
            if (check(reply.entries, row) == 0) {
                entries = reply.entries;
                return kOk;
            }
        }
    }

private:
    static int Pop(std::deque<Reply>& queue, QString& password, QString* hint) {
        if (queue.empty())
            return kCancel;
        const Reply reply = queue.front();
        queue.pop_front();
        password = reply.password;
        if (hint)
            *hint = reply.hint;
        return reply.result;
    }
};

} // namespace korimbo
