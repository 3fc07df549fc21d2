#include "cli/CliTool.h"

#include "crypto/ContainerHeader.h"
#include "util/MessageNumbers.h"
#include "util/DisplayText.h"
#include "util/FileNames.h"
#include "util/OpenFiles.h"
#include "util/SecretText.h"

#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTextStream>

#include <cstdio>

namespace korimbo {

namespace {

void Out(const QString& text) {
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void Err(const QString& text) {
    std::fputs(text.toUtf8().constData(), stderr);
    std::fflush(stderr);
}

int Usage(const QString& problem) {
    Err(QStringLiteral("korimbo-cli: ") + problem + QStringLiteral("\n「korimbo-cli --help」で使い方を表示します。\n"));
    return CCliTool::kExitUsage;
}

QString FirstLine(const QByteArray& data) {
    QString text = QString::fromUtf8(data);
    const qsizetype end = text.indexOf(u'\n');
    if (end >= 0)
        text.truncate(end);
    if (text.endsWith(u'\r'))
        text.chop(1);
    return text;
}

bool HasPasswordSource(bool stdinFlag, const QString& file) {
    return stdinFlag || !file.isEmpty() ||
           QProcessEnvironment::systemEnvironment().contains(QStringLiteral("KORIMBO_PASSWORD"));
}

} // namespace

CCliTool::CCliTool() : m_catalogue(m_ui), m_engine(m_ui, m_catalogue, m_files) {}

QString CCliTool::HelpText() {
    return QStringLiteral(
        "使い方: korimbo-cli コマンド [オプション] ファイル...\n"
        "\n"
        "暗号ファイル（.zorf）を、ウィンドウを開かずに調べ、作り、元に戻します。\n"
        "\n"
        "コマンド:\n"
        "  info ファイル...          組み込みの鍵だけで読める内容を表示します（署名の状態、形式の版、\n"
        "                            ヒント、元のサイズ、ファイル名ブロックの長さ、詰め物の数）。\n"
        "                            パスワードを渡すと、ファイル名と日時も表示します。\n"
        "  encrypt 元 保存先         ファイルを暗号化します。保存先がフォルダーなら、その中に新しい\n"
        "                            名前の暗号ファイルを作り、そのパスを表示します。\n"
        "  decrypt 暗号ファイル 保存先\n"
        "                            暗号ファイルを復号します。保存先がフォルダーなら、暗号ファイルに\n"
        "                            記録された元の名前で保存します。更新日時も元に戻します。\n"
        "  verify ファイル...        暗号ファイルを最後まで試しに復号し、サイズと末尾のデータを\n"
        "                            確かめます（何も書き込みません）。\n"
        "  scan フォルダー           フォルダー内の暗号ファイルをすべて試しに復号し、壊れたものを表示します。\n"
        "  find フォルダー 名前      元の名前に「名前」を含む項目を、フォルダーからの相対パスで表示します。\n"
        "\n"
        "オプション:\n"
        "  --password-file ファイル  パスワードをファイルの1行目から読みます。\n"
        "  --password-stdin          パスワードを標準入力の1行目から読みます。\n"
        "  --hint ヒント             encrypt で暗号ファイルに記録するパスワードのヒント（48文字まで）。\n"
        "  -h, --help                この説明を表示します。\n"
        "\n"
        "パスワードは、上のどちらかのオプションか、環境変数 KORIMBO_PASSWORD で渡します。\n"
        "コマンドラインには書けません（ほかの利用者から見えるためです）。\n"
        "\n"
        "終了コード:\n"
        "  0  成功\n"
        "  1  失敗（理由は標準エラー出力に表示します）\n"
        "  2  使い方の誤り\n"
        "  3  パスワードが違う\n");
}

int CCliTool::Run(const QStringList& arguments) {
    QStringList positional;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        if (arg == QStringLiteral("-h") || arg == QStringLiteral("--help")) {
            Out(HelpText());
            return kExitOk;
        } else if (arg == QStringLiteral("--password-stdin")) {
            m_passwordStdin = true;
        } else if (arg == QStringLiteral("--password-file") || arg == QStringLiteral("--hint")) {
            if (i + 1 >= arguments.size())
                return Usage(arg + QStringLiteral(" には値が必要です。"));
            (arg == QStringLiteral("--hint") ? m_hint : m_passwordFile) = arguments.at(++i);
        } else if (arg.startsWith(QStringLiteral("--password"))) {
            return Usage(QStringLiteral("パスワードはコマンドラインでは渡せません。"));
        } else if (arg.startsWith(u'-') && arg.size() > 1) {
            return Usage(QStringLiteral("不明なオプションです: ") + arg);
        } else {
            positional.append(arg);
        }
    }
    if (positional.isEmpty())
        return Usage(QStringLiteral("コマンドを指定してください。"));
    const QString command = positional.takeFirst();
    if (m_hint.size() > ContainerHeader::kHintUnits)
        return Usage(QStringLiteral("ヒントは48文字以内にしてください。"));
    if (command == QStringLiteral("info") || command == QStringLiteral("verify")) {
        if (positional.isEmpty())
            return Usage(command + QStringLiteral(" にはファイルを指定してください。"));
        if (Start() != 0)
            return kExitFailed;
        return command == QStringLiteral("info") ? Info(positional) : Verify(positional);
    }
    if (command == QStringLiteral("encrypt") || command == QStringLiteral("decrypt")) {
        if (positional.size() != 2)
            return Usage(command + QStringLiteral(" には元と保存先の2つを指定してください。"));
        if (Start() != 0)
            return kExitFailed;
        return command == QStringLiteral("encrypt") ? Encrypt(positional[0], positional[1])
                                                    : Decrypt(positional[0], positional[1]);
    }
    if (command == QStringLiteral("scan"))
        return positional.size() != 1 ? Usage(QStringLiteral("scan にはフォルダーを1つ指定してください。"))
               : Start() != 0         ? kExitFailed
                                      : Scan(positional[0]);
    if (command == QStringLiteral("find")) {
        if (positional.size() != 2 || positional[1].isEmpty())
            return Usage(QStringLiteral("find には暗号フォルダーと検索する名前の2つを指定してください。"));
        if (Start() != 0)
            return kExitFailed;
        return Find(positional[0], positional[1]);
    }
    return Usage(QStringLiteral("不明なコマンドです: ") + command);
}

int CCliTool::Start() {
    if (m_catalogue.MsgAIN(m_engine) != OpResult::kDone || m_catalogue.MsgBIN(m_engine) != OpResult::kDone ||
        m_engine.RegisterBuiltInKey() != 0)
        return -1;
    return 0;
}

int CCliTool::ReadPassword(QString& password) {
    if (m_passwordStdin) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly))
            return -1;
        password = FirstLine(in.readLine());
        return 0;
    }
    if (!m_passwordFile.isEmpty()) {
        QFile file(m_passwordFile);
        if (!file.open(QIODevice::ReadOnly)) {
            Err(QStringLiteral("korimbo-cli: パスワードのファイルを読めません: ") + m_passwordFile + u'\n');
            return -1;
        }
        password = FirstLine(file.readLine());
        return 0;
    }
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (env.contains(QStringLiteral("KORIMBO_PASSWORD"))) {
        password = env.value(QStringLiteral("KORIMBO_PASSWORD"));
        return 0;
    }
    Err(QStringLiteral("korimbo-cli: パスワードを --password-file、--password-stdin または KORIMBO_PASSWORD "
                       "で渡してください。\n"));
    return -1;
}

int CCliTool::UseKey() {
    QString password;
    if (ReadPassword(password) != 0)
        return -1;
    const int rc = m_engine.RegisterTempKey(password, m_hint, m_key);
    WipeString(password);
    return rc;
}

int CCliTool::Info(const QStringList& files) {
    const bool withKey = HasPasswordSource(m_passwordStdin, m_passwordFile);
    if (withKey && UseKey() != 0)
        return kExitFailed;
    int exit = kExitOk;
    for (const QString& path : files) {
        ContainerInfo info;
        // Without a password the check runs under a key that opens nothing: only the built-in layer shows.
        const QString key = withKey ? m_key : m_engine.BuiltInKeyName();
        const std::optional<ContainerCheck> check =
            CheckName(path) == kExitOk ? m_engine.CheckContainer(path, info, key, false) : std::nullopt;
        if (!check) {
            exit = kExitFailed;
            continue;
        }
        const ContainerStatus status = check->status;
        const ContainerHeader& h = info.header;
        QString report = path + u'\n';
        const char* statusText[] = {"ok", "not a container", "newer format version", "wrong password"};
        const bool readable = status == kUsable || (status == kWrongPassword);
        report += QStringLiteral("  signature: %1\n").arg(QString::fromLatin1(statusText[readable ? 0 : status]));
        if (status == kNotContainer) {
            exit = kExitFailed;
            Out(report);
            continue;
        }
        report += QStringLiteral("  version: %1\n").arg(h.Version());
        report += QStringLiteral("  hint: %1\n").arg(WithoutTrailingSpaces(h.Hint()));
        report += QStringLiteral("  plain size: %1\n").arg(h.PlainSize());
        report += QStringLiteral("  name block length: %1\n").arg(h.NameBlockLength());
        report += QStringLiteral("  pad count: %1\n").arg(h.PadCount());
        if (withKey && status == kUsable) {
            report += QStringLiteral("  name: %1\n").arg(info.name);
            report += QStringLiteral("  encrypted at: %1\n").arg(info.encryptedAtText);
            report += QStringLiteral("  modified: %1\n").arg(info.modifiedText);
        } else if (withKey && status == kWrongPassword) {
            report += QStringLiteral("  password: wrong\n");
            exit = exit == kExitOk ? kExitWrongPassword : exit;
        } else if (withKey) {
            // The check text of a newer layout is not known to this version: no verdict on the password.
            report += QStringLiteral("  password: not checked (newer format version)\n");
        }
        if (status == kNewerVersion)
            exit = kExitFailed;
        Out(report);
    }
    return exit;
}

int CCliTool::Encrypt(const QString& source, const QString& destination) {
    if (CheckName(source) != kExitOk)
        return kExitFailed;
    QString password;
    if (ReadPassword(password) != 0)
        return kExitFailed;
    if (password.isEmpty() || !CCryptEngine::HasAllowedPasswordChars(password) || password.size() > 32) {
        WipeString(password);
        return Usage(QStringLiteral("パスワードは、半角の英数字と記号で1〜32文字にしてください。"));
    }
    const int rc = m_engine.RegisterTempKey(password, m_hint, m_key);
    WipeString(password);
    if (rc != 0)
        return kExitFailed;
    QString container = destination;
    if (QFileInfo(destination).isDir()) {
        QString name;
        if (m_engine.MakeContainerName(destination, name) != 0)
            return kExitFailed;
        container = QFileInfo(destination).absoluteFilePath() + u'/' + name;
        Out(container + u'\n');
    }
    RemoveLeftovers(QFileInfo(container).absolutePath());
    return m_engine.EncryptFile(source, container, m_key) == kOk ? kExitOk : kExitFailed;
}

// A run killed in the middle leaves its temporary file beside the target; the next run into the same
// folder takes it away, unless a run still writing has it open.
void CCliTool::RemoveLeftovers(const QString& directory) {
    for (const QString& name : CCryptEngine::TempNamesIn(directory)) {
        const QString path = directory + u'/' + name;
        if (QFileInfo(path).isFile() && !IsFileOpenElsewhere(path))
            static_cast<void>(m_files.Remove(path));
    }
}

// A name that did not come through the shell as text cannot be opened by its text form.
int CCliTool::CheckName(const QString& path) {
    if (IsRepresentablePath(path))
        return kExitOk;
    m_ui.Message(m_catalogue.m_GetMsgA(msg::kUnrepresentableName) + QStringLiteral("\n\n") + path, Icon::Error,
                 Buttons::Ok, 0, msg::kUnrepresentableName);
    return kExitFailed;
}

// Tells a wrong password and a file that is no container apart before anything is written.
int CCliTool::CheckOpens(const QString& path) {
    if (CheckName(path) != kExitOk)
        return kExitFailed;
    ContainerInfo info;
    const std::optional<ContainerCheck> check = m_engine.CheckContainer(path, info, m_key, false);
    if (!check) {
        m_ui.Message(m_catalogue.m_GetMsgA(msg::kContainerOpen) + u'\n' + path, Icon::Error, Buttons::Ok, 0,
                     msg::kContainerOpen);
        return kExitFailed;
    }
    if (check->Usable())
        return kExitOk;
    const bool wrongPassword = check->status == kWrongPassword;
    m_ui.Message(check->text, wrongPassword ? Icon::Warning : Icon::Error);
    return wrongPassword ? kExitWrongPassword : kExitFailed;
}

int CCliTool::Decrypt(const QString& source, const QString& destination) {
    if (UseKey() != 0)
        return kExitFailed;
    if (const int rc = CheckOpens(source); rc != kExitOk)
        return rc;
    QString target = destination;
    if (QFileInfo(destination).isDir()) {
        ContainerInfo info;
        static_cast<void>(m_engine.ReadContainerInfo(source, info, m_key, false));
        if (info.name.isEmpty() || info.name.contains(u'/') || info.name == QStringLiteral(".") ||
            info.name == QStringLiteral("..")) {
            Err(QStringLiteral("korimbo-cli: 記録された名前が使えません: ") + source + u'\n');
            return kExitFailed;
        }
        target = QFileInfo(destination).absoluteFilePath() + u'/' + info.name;
        Out(target + u'\n');
    }
    RemoveLeftovers(QFileInfo(target).absolutePath());
    return m_engine.DecryptFile(source, target, m_key) == kOk ? kExitOk : kExitFailed;
}

int CCliTool::Verify(const QStringList& files) {
    if (UseKey() != 0)
        return kExitFailed;
    int exit = kExitOk;
    for (const QString& path : files) {
        int rc = CheckOpens(path);
        if (rc == kExitOk && m_engine.VerifyContainer(path, m_key) != 0)
            rc = kExitFailed;
        Out((rc == kExitOk ? QStringLiteral("OK  ") : QStringLiteral("NG  ")) + path + u'\n');
        if (rc != kExitOk && exit != kExitFailed)
            exit = rc;
    }
    return exit;
}

} // namespace korimbo
