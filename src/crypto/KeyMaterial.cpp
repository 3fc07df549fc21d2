#include "crypto/KeyMaterial.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace korimbo {

namespace {

// Three pieces of each joined text live apart; none of them means anything alone.
constexpr char kSaltA[] = "q7Lm%";
constexpr char kSaltC[] = "604918";
constexpr char kCatalogueHead[] = "Kp#2v";
constexpr char kCatalogueTail[] = "m8_Wz";

QString SaltPartB() {
    return QStringLiteral("R!t4e");
}
QString CataloguePart2() {
    return QStringLiteral("Tq9;x@");
}

QByteArray ConvertRest(const QString& text) {
    QByteArray out;
    iconv_t cd = iconv_open("CP932", "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        out.fill('?', text.size());
        return out;
    }
    QByteArray in(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    char* inPtr = in.data();
    size_t inLeft = static_cast<size_t>(in.size());
    while (inLeft > 0) {
        char buffer[16];
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - outLeft));
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            // Not in the code page: the system's default character, one unit (or a surrogate pair) gone.
            out.append('?');
            const bool pair = inLeft >= 4 && (static_cast<unsigned char>(inPtr[1]) & 0xFC) == 0xD8;
            const size_t skip = std::min<size_t>(inLeft, pair ? 4 : 2);
            inPtr += skip;
            inLeft -= skip;
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace

QByteArray FillerText() {
    return QByteArrayLiteral("Zk4!pW0r#Lm9&Qe2$Tn7*Vb5(Hy8)Jc3");
}

QByteArray TailText() {
    return QByteArrayLiteral("x9%");
}

QString SaltText() {
    const QString a = QString::fromLatin1(kSaltA);
    const QString b = SaltPartB();
    const QString c = QString::fromLatin1(kSaltC);
    return a + b + c + b + a + c;
}

std::array<std::uint8_t, 16> SlotFiller() {
    return {0x5A, 0xC3, 0x1E, 0x97, 0x6B, 0x04, 0xD2, 0x88, 0x3F, 0xE1, 0x70, 0x2C, 0xB5, 0x49, 0x0D, 0xA6};
}

QString CataloguePassword() {
    return QString::fromLatin1(kCatalogueHead) + CataloguePart2() + QString::fromLatin1(kCatalogueTail);
}

QByteArray ToCodePage932(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (u < 0x80) {
            out.append(static_cast<char>(u));
        } else if (u >= 0xFF61 && u <= 0xFF9F) {
            out.append(static_cast<char>(0xA1 + (u - 0xFF61))); // half-width katakana
        } else {
            qsizetype end = i + 1;
            while (end < text.size() && text.at(end).unicode() >= 0x80 &&
                   !(text.at(end).unicode() >= 0xFF61 && text.at(end).unicode() <= 0xFF9F))
                ++end;
            out.append(ConvertRest(text.mid(i, end - i)));
            i = end - 1;
        }
    }
    return out;
}

} // namespace korimbo
