#pragma once

#include "util/MessageSource.h"

#include <QHash>

namespace korimbo {

// A catalogue for tests below the real one: A<n> reads "A<n>" unless set, the B texts the engine
// needs are fixed here.
class TestCatalogue final : public MessageSource {
public:
    TestCatalogue();
    QString MsgA(int number) override;
    QString MsgB(int number) override;
    void SetA(int number, const QString& text) { m_a.insert(number, text); }
    void SetB(int number, const QString& text) { m_b.insert(number, text); }

private:
    QHash<int, QString> m_a;
    QHash<int, QString> m_b;
};

} // namespace korimbo
