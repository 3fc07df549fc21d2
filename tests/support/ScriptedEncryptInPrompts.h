#pragma once

#include "ScriptedQueue.h"
#include "folder/EncryptInPrompts.h"

#include <QStringList>
#include <QTest>

#include <deque>
#include <functional>
#include <utility>

namespace korimbo {

// The encrypt-in dialogs answered from queues. Strict like ScriptedInteraction: a dialog with no answer
// queued fails the running test (and cancels), and answers left over fail it when the script goes or at
// VERIFY_PROMPTS_SETTLED. What was asked is recorded.
class ScriptedEncryptInPrompts final : public EncryptInPrompts {
public:
    std::deque<Overwrite> fileAnswers;
    std::deque<Overwrite> folderAnswers;
    std::deque<bool> noticeTicks;                  // the notice's check box
    std::deque<std::pair<PasswordAnswer, QString>> passwords;
    std::function<void()> onNotice;                // runs when the notice shows (a stop pressed meanwhile)

    QStringList asked; // "file:<name>", "folder:<target>", "notice", "password"
    QList<bool> singleItemModes;
    QList<FileSide> incomingSides;

    ScriptedEncryptInPrompts() = default;
    ScriptedEncryptInPrompts(const ScriptedEncryptInPrompts&) = delete;
    ScriptedEncryptInPrompts& operator=(const ScriptedEncryptInPrompts&) = delete;
    ~ScriptedEncryptInPrompts() override { CheckSettled(__FILE__, __LINE__); }

    Overwrite AskFileOverwrite(const FileSide& existing, const FileSide& incoming, bool singleItem) override {
        asked.append(QStringLiteral("file:") + existing.name);
        singleItemModes.append(singleItem);
        incomingSides.append(incoming);
        return Pop(fileAnswers, Overwrite::kCancel, QStringLiteral("file overwrite of ") + existing.name);
    }
    Overwrite AskFolderOverwrite(const QString& target, const QString&) override {
        asked.append(QStringLiteral("folder:") + target);
        return Pop(folderAnswers, Overwrite::kCancel, QStringLiteral("folder overwrite of ") + target);
    }
    bool ShowAlreadyEncryptedNotice(const QString& text) override {
        asked.append(QStringLiteral("notice"));
        if (onNotice)
            onNotice();
        return Pop(noticeTicks, false, QStringLiteral("already-encrypted notice: ") + text);
    }
    PasswordAnswer AskContainerPassword(const QString& container, QString& password) override {
        asked.append(QStringLiteral("password"));
        const auto reply = Pop(passwords, std::pair<PasswordAnswer, QString>{PasswordAnswer::kCancel, QString()},
                               QStringLiteral("container password for ") + container);
        password = reply.second;
        return reply.first;
    }

    QString Unsettled() const {
        const std::size_t left = fileAnswers.size() + folderAnswers.size() + noticeTicks.size() + passwords.size();
        return left == 0 ? QString() : QStringLiteral("%1 scripted encrypt-in answer(s) never asked for").arg(left);
    }
    bool CheckSettled(const char* file, int line) {
        const QString unsettled = Unsettled();
        fileAnswers.clear();
        folderAnswers.clear();
        noticeTicks.clear();
        passwords.clear();
        if (unsettled.isEmpty())
            return true;
        FailScript(unsettled, file, line);
        return false;
    }

private:
    template <typename T>
    static T Pop(std::deque<T>& queue, T fallback, const QString& what) {
        return PopScripted(queue, fallback, QStringLiteral("An encrypt-in dialog came with no answer scripted: ") + what);
    }
};

} // namespace korimbo

#define VERIFY_PROMPTS_SETTLED(prompts)                                                                                \
    do {                                                                                                               \
        if (!(prompts).CheckSettled(__FILE__, __LINE__))                                                               \
            return;                                                                                                    \
    } while (false)
