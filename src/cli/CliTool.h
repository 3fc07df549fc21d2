#pragma once

#include "crypto/CryptEngine.h"
#include "state/MessageCatalogue.h"
#include "util/ConsoleInteraction.h"
#include "util/FileSystem.h"
#include "util/TreeWalk.h"

#include <QString>
#include <QStringList>

namespace korimbo {

// korimbo-cli: inspect, encrypt, decrypt and verify containers without a window.
class CCliTool {
public:
    enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitWrongPassword = 3 };

    CCliTool();
    int Run(const QStringList& arguments);
    static QString HelpText();

private:
    int Start();
    int ReadPassword(QString& password);
    int Info(const QStringList& files);
    int Encrypt(const QString& source, const QString& destination);
    int Decrypt(const QString& source, const QString& destination);
    int Verify(const QStringList& files);
    int Scan(const QString& folder);
    int CheckName(const QString& path);
    void RemoveLeftovers(const QString& directory);
    int CheckOpens(const QString& path);
    int UseKey();
    // find: the stored paths below a folder whose plain names hold a pattern (CliFind.cpp).
    struct FindCounts {
        int opened = 0;        // containers of the password
        int otherPassword = 0; // containers of another password
    };
    int Find(const QString& folder, const QString& pattern);
    QString StoredName(const TreeEntry& entry, FindCounts& counts);

    ConsoleInteraction m_ui;
    CMessageCatalogue m_catalogue;
    LocalFileSystem m_files;
    CCryptEngine m_engine;
    QString m_passwordFile;
    bool m_passwordStdin = false;
    QString m_hint;
    QString m_key;
};

} // namespace korimbo
