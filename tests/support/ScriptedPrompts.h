#pragma once

#include "workspace/PasswordPrompts.h"

#include <QList>
#include <QString>

#include <deque>
#include <utility>

namespace korimbo {

// The password dialogs answered from queues; an empty queue cancels. The modes asked are recorded.
class ScriptedPrompts final : public PasswordPrompts {
public:
    struct Reply {
        int result;
        QString password;
        QString hint;
    };
    std::deque<Reply> passwords;
    std::deque<Reply> newPasswords;
    std::deque<std::pair<int, bool>> network;
    QList<int> promptModes;
    QList<int> setModes;

    int AskPassword(int mode, QString& password) override {
        promptModes.append(mode);
        return Pop(passwords, password, nullptr);
    }
    int AskNewPassword(int mode, const QString&, QString& password, QString& hint) override {
        setModes.append(mode);
        return Pop(newPasswords, password, &hint);
    }
    int AskNetworkRegistration(const QString&, bool& readOnly) override {
        if (network.empty())
            return kCancel;
        const auto [result, box] = network.front();
        network.pop_front();
        readOnly = box;
        return result;
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
