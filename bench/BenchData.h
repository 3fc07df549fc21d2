#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace korimbo::bench {

// Deterministic test data: "office-like" text (XML rows, prose and CSV, as office documents and
// exports hold) and incompressible bytes. The same seed always gives the same file.
class BenchData {
public:
    static constexpr qint64 kDefaultSize = 64ll * 1024 * 1024;

    static int WriteOfficeLike(const QString& path, qint64 size, std::uint64_t seed = 1);
    static int WriteRandom(const QString& path, qint64 size, std::uint64_t seed = 2);
    // `count` files of `minBytes` to `maxBytes` each, cut one after the other from office-like text (with
    // the extensions of office exports), into `folder`.
    static int WriteOfficeCorpus(const QString& folder, int count, int minBytes, int maxBytes, std::uint64_t seed = 3);

private:
    static constexpr qint64 kCorpusTextSize = 64ll * 1024 * 1024;
};

} // namespace korimbo::bench
