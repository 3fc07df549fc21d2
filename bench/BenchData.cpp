#include "BenchData.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <functional>

namespace korimbo::bench {

namespace {

class Rng {
public:
    explicit Rng(std::uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint64_t Next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }

private:
    std::uint64_t m_state;
};

constexpr std::array<const char*, 48> kWords = {
    "report",   "quarter",  "budget", "sales",   "region", "customer", "invoice", "total", "project", "meeting",
    "schedule", "delivery", "status", "review",  "team",   "account",  "revenue", "cost",  "margin",  "forecast",
    "product",  "service",  "order",  "payment", "the",    "and",      "of",      "to",    "for",     "with",
    "on",       "in",       "東京",   "大阪",    "売上",   "予算",     "会議",    "資料",  "担当",    "確認",
    "2024",     "2025",     "north",  "south",   "east",   "west",     "draft",   "final"};

void AppendWord(QByteArray& out, Rng& rng) {
    out.append(kWords[static_cast<std::size_t>(rng.Below(48))]);
}

void AppendXmlRow(QByteArray& out, Rng& rng, int row) {
    out.append("<row r=\"").append(QByteArray::number(row)).append("\">");
    for (int c = 0; c < 6; ++c) {
        out.append("<c r=\"").append(char('A' + c)).append(QByteArray::number(row)).append("\"");
        if (c % 2 == 0) {
            out.append(" t=\"s\"><v>");
            AppendWord(out, rng);
        } else {
            out.append("><v>").append(QByteArray::number(rng.Below(1000000)));
        }
        out.append("</v></c>");
    }
    out.append("</row>\n");
}

void AppendProse(QByteArray& out, Rng& rng) {
    const int words = 8 + rng.Below(16);
    for (int i = 0; i < words; ++i) {
        AppendWord(out, rng);
        out.append(i + 1 == words ? ".\n" : " ");
    }
}

void AppendCsv(QByteArray& out, Rng& rng, int row) {
    out.append(QByteArray::number(row)).append(',');
    AppendWord(out, rng);
    out.append(',')
        .append(QByteArray::number(rng.Below(100000)))
        .append('.')
        .append(QByteArray::number(rng.Below(100)));
    out.append(",2025-")
        .append(QByteArray::number(1 + rng.Below(12)))
        .append('-')
        .append(QByteArray::number(1 + rng.Below(28)));
    out.append('\n');
}

int WriteChunks(const QString& path, qint64 size, const std::function<void(QByteArray&)>& fill) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    QByteArray chunk;
    qint64 written = 0;
    while (written < size) {
        chunk.clear();
        fill(chunk);
        const qint64 n = std::min<qint64>(chunk.size(), size - written);
        if (file.write(chunk.constData(), n) != n)
            return -1;
        written += n;
    }
    return 0;
}

} // namespace

namespace {

// About a mebibyte of office-like text.
void AppendOfficeChunk(QByteArray& chunk, Rng& rng, int& row) {
    while (chunk.size() < (1 << 20)) {
        switch (rng.Below(3)) {
        case 0:
            for (int i = 0; i < 20; ++i)
                AppendXmlRow(chunk, rng, row++);
            break;
        case 1:
            for (int i = 0; i < 10; ++i)
                AppendProse(chunk, rng);
            break;
        default:
            for (int i = 0; i < 30; ++i)
                AppendCsv(chunk, rng, row++);
            break;
        }
    }
}

} // namespace

int BenchData::WriteOfficeLike(const QString& path, qint64 size, std::uint64_t seed) {
    Rng rng(seed);
    int row = 1;
    return WriteChunks(path, size, [&](QByteArray& chunk) { AppendOfficeChunk(chunk, rng, row); });
}

int BenchData::WriteOfficeCorpus(const QString& folder, int count, int minBytes, int maxBytes, std::uint64_t seed) {
    Rng rng(seed);
    int row = 1;
    QByteArray text;
    QByteArray chunk;
    while (text.size() < kCorpusTextSize) {
        chunk.clear();
        AppendOfficeChunk(chunk, rng, row);
        text.append(chunk);
    }
    qint64 at = 0;
    static constexpr std::array<const char*, 4> kExtensions = {".xml", ".txt", ".csv", ".doc"};
    for (int i = 0; i < count; ++i) {
        const int size = minBytes + rng.Below(maxBytes - minBytes + 1);
        if (at + size > text.size())
            at = rng.Below(1 << 16);
        QFile file(folder + QStringLiteral("/file%1").arg(i, 5, 10, QLatin1Char('0')) +
                   QLatin1String(kExtensions[static_cast<std::size_t>(i) % kExtensions.size()]));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.constData() + at, size) != size)
            return -1;
        at += size;
    }
    return 0;
}

int BenchData::WriteRandom(const QString& path, qint64 size, std::uint64_t seed) {
    Rng rng(seed);
    return WriteChunks(path, size, [&](QByteArray& chunk) {
        chunk.resize(1 << 20);
        auto* words = reinterpret_cast<std::uint64_t*>(chunk.data());
        for (int i = 0; i < (1 << 20) / 8; ++i)
            words[i] = rng.Next();
    });
}

} // namespace korimbo::bench
