#pragma once

#include "workspace/PasswordPrompts.h"

#include <QPointer>
#include <QWidget>

namespace korimbo {

class Ckelpie5App;

// The password prompts of the window: the core asks, the dialogs answer.
class CDialogPrompts final : public PasswordPrompts {
public:
    CDialogPrompts(QWidget* parent, Ckelpie5App& app) : m_parent(parent), m_app(app) {}

    Answer AskPassword(PromptMode mode, QString& password) override;
    Answer AskNewPassword(SetMode mode, const QString& folder, QString& password, QString& hint) override;
    Answer AskNetworkRegistration(const QString& folder, bool& readOnly) override;
    AdminChoice AskAdminChoice() override;
    Answer AskChangePasswordList(QList<ChangePasswordText>& entries, const ListCheck& check) override;

    // Whether the hint field of the following setting dialogs can be edited; a preset hint the caller
    // must keep (it is written in the folder's containers already) is shown disabled.
    void SetHintEditable(bool editable) { m_hintEditable = editable; }

private:
    QPointer<QWidget> m_parent;
    Ckelpie5App& m_app;
    bool m_hintEditable = true;
};

} // namespace korimbo
