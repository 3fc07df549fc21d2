#include "ScriptedInteraction.h"
#include "util/MessageText.h"

#include <QTest>

using namespace korimbo;

namespace {

// Catalogue texts that name their number.
class NumberedTexts final : public MessageSource {
public:
    QString MsgA(int number) override { return QStringLiteral("A%1:").arg(number); }
    QString MsgB(int number) override { return QStringLiteral("B%1:").arg(number); }
};

} // namespace

class TestMessageText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void ReportShowsCatalogueTextAndFails() {
        ScriptedInteraction ui;
        NumberedTexts texts;
        QCOMPARE(ReportMessage(ui, texts, 550,
                               WithPath(QStringLiteral("detail"), QStringLiteral("/p"), PathSeparator::Line)),
                 -1);
        QCOMPARE(ReportMessage(ui, texts, 520, QString(), Icon::Warning), -1);
        QCOMPARE(ui.Numbers(), (QList<int>{550, 520}));
        QCOMPARE(ui.Messages()[0].text, QStringLiteral("A550:detail\n/p"));
        QCOMPARE(ui.Messages()[0].icon, Icon::Error); // failures carry the stop icon unless told
        QCOMPARE(ui.Messages()[0].buttons, Buttons::Ok);
        QCOMPARE(ui.Messages()[1].text, QStringLiteral("A520:"));
        QCOMPARE(ui.Messages()[1].icon, Icon::Warning);
    }
};

QTEST_MAIN(TestMessageText)
#include "TestMessageText.moc"
