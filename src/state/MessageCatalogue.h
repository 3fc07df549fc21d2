#pragma once

#include "state/CatalogueText.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"
#include "util/OpResult.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace korimbo {

class CCryptEngine;

// The two enciphered message catalogues embedded in the program: A holds the messages, B the fixed
// texts the cryptography needs. A is parsed once at load; B is held with every byte plus 1, with where
// each of its entries lies, and a lookup takes back only that entry's text: its texts never sit in memory
// as plain text between uses.
class CMessageCatalogue final : public MessageSource {
public:
    static constexpr int kHeldLimit = 100000;
    static inline const QString kResourceA = QStringLiteral(":/catalogue/ZorMSGa");
    static inline const QString kResourceB = QStringLiteral(":/catalogue/ZorMSGb");

    explicit CMessageCatalogue(Interaction& ui) : m_ui(ui) {}

    // Catalogue A must be loaded before catalogue B (A588 keys B). kFailed after the error text.
    OpResult MsgAIN(CCryptEngine& engine, const QString& resource = kResourceA);
    OpResult MsgBIN(CCryptEngine& engine, const QString& resource = kResourceB);

    QString m_GetMsgA(int number);
    QString m_GetMsgB(int number);

    QString MsgA(int number) override { return m_GetMsgA(number); }
    QString MsgB(int number) override { return m_GetMsgB(number); }

    // The blob format, shared with the build-time encipherer: UTF-16LE text padded with zero bytes to a
    // multiple of 16.
    static QByteArray ToBlob(const QString& text);

private:
    OpResult Fail(const char* text);
    int Decipher(CCryptEngine& engine, const QString& resource, QByteArray& plain);

    Interaction& m_ui;
    QStringList m_keysA;
    QStringList m_textsA;
    QByteArray m_heldB;
    QHash<QString, CatalogueSpan> m_spansB;
};

} // namespace korimbo
