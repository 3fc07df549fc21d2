#include "folder/PlainFileCheck.h"

#include "crypto/ContainerProbe.h"
#include "util/BusySection.h"
#include "util/MessageNumbers.h"
#include "util/TreeWalk.h"

#include <QDir>

namespace korimbo {

namespace {

// How many entries pass between two looks at the stop button and two updates of the status text.
constexpr int kEntriesPerRound = 64;

} // namespace

OpResult CPlainFileCheck::Run(const QString& folder) {
    if (m_s.ui.Message(m_s.messages.MsgA(msg::kPlainCheckQuestion), Icon::Question, Buttons::YesNo, kAnswerNo,
                       msg::kPlainCheckQuestion) != kAnswerYes)
        return OpResult::kDeclined;
    PlainFindings findings;
    {
        const BusySection section(busy);
        findings = Find(folder);
    }
    m_s.ui.SetStatusText(QString());
    if (findings.stopped) {
        m_s.ui.Message(m_s.messages.MsgA(msg::kStopped), Icon::Information, Buttons::Ok, 0, msg::kStopped);
        return OpResult::kDeclined;
    }
    const bool clean = findings.plain.isEmpty() && findings.damaged.isEmpty() && findings.unreadable.isEmpty();
    const Icon icon = clean ? Icon::Information : Icon::Warning;
    m_s.ui.Message(ReportText(folder, findings), icon, Buttons::Ok, 0, msg::kPlainCheckDone);
    return OpResult::kDone;
}

PlainFindings CPlainFileCheck::Find(const QString& folder) {
    PlainFindings findings;
    const QString key = m_s.nameFile.OwningRoot(folder);
    int seen = 0;
    const WalkResult walk = WalkTree(folder, [&](const TreeEntry& entry) {
        if (++seen % kEntriesPerRound == 0) {
            m_s.ui.SetStatusText(QDir::toNativeSeparators(entry.path));
            m_s.ui.Pump();
            if (m_s.ui.StopRequested())
                return Visit::Stop;
        }
        switch (entry.kind) {
        case ItemKind::Folder:
        case ItemKind::Missing:
            return Visit::Continue;
        case ItemKind::Link:
        case ItemKind::Special:
            findings.plain.append(entry.path);
            return Visit::Continue;
        case ItemKind::File:
            break;
        }
        // Only the signature tells a container; a container of another password is still one.
        ContainerInfo info;
        const std::optional<ContainerCheck> check = m_s.engine.CheckContainer(entry.path, info, key, false);
        if (!check)
            findings.unreadable.append(entry.path);
        else if (check->status == kNotContainer && CContainerProbe::HasContainerName(entry.path))
            findings.damaged.append(entry.path);
        else if (check->status == kNotContainer)
            findings.plain.append(entry.path);
        else
            ++findings.containers;
        return Visit::Continue;
    });
    findings.unreadable += walk.unreadable;
    findings.stopped = walk.stopped;
    return findings;
}

// A200, then the count and the first paths relative to the folder, then what could not be read.
QString CPlainFileCheck::ReportText(const QString& folder, const PlainFindings& findings) const {
    const QDir base(folder);
    const auto named = [&base](const QStringList& paths) {
        QString lines;
        for (const QString& path : paths.mid(0, kNamedInReport))
            lines += u'\n' + QDir::toNativeSeparators(base.relativeFilePath(path));
        return lines;
    };
    QString text = m_s.messages.MsgA(msg::kPlainCheckDone) + u'\n';
    if (findings.plain.isEmpty()) {
        text += m_s.messages.MsgA(msg::kNoPlainFiles);
    } else {
        text += m_s.messages.MsgA(msg::kPlainFilesFound) + QString::number(findings.plain.size()) +
                m_s.messages.MsgA(msg::kPlainFilesFoundTail) + named(findings.plain);
        if (findings.plain.size() > kNamedInReport)
            text += u'\n' + m_s.messages.MsgA(msg::kMorePlainFiles) +
                    QString::number(findings.plain.size() - kNamedInReport) + m_s.messages.MsgA(msg::kMorePlainFilesTail);
    }
    if (!findings.damaged.isEmpty())
        text += QStringLiteral("\n\n") + m_s.messages.MsgA(msg::kPlainCheckDamaged) + named(findings.damaged);
    if (!findings.unreadable.isEmpty())
        text += QStringLiteral("\n\n") + m_s.messages.MsgA(msg::kPlainCheckUnreadable) + named(findings.unreadable);
    return text;
}

} // namespace korimbo
