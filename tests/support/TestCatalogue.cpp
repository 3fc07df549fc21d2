#include "TestCatalogue.h"

namespace korimbo {

TestCatalogue::TestCatalogue() {
    m_b.insert(1, QStringLiteral("Test-Builtin#Passphrase_42"));
    m_b.insert(6, QStringLiteral("TESTSIGNATURE-KORIMBO"));
    m_b.insert(7, QStringLiteral("CheckText:Korimbo-Test"));
    // Reference texts of the state files: only their first 128 units count.
    m_b.insert(31, QStringLiteral("folder-reference:").repeated(9));
    m_b.insert(34, QStringLiteral("admin-reference:").repeated(9));
    m_b.insert(35, QStringLiteral("ListKey#"));
}

QString TestCatalogue::MsgA(int number) {
    return m_a.value(number, QStringLiteral("A%1").arg(number));
}

QString TestCatalogue::MsgB(int number) {
    return m_b.value(number);
}

} // namespace korimbo
