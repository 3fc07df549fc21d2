#include "crypto/BodyVerifier.h"
#include "crypto/Inflater.h"
#include "util/MessageNumbers.h"

#include "util/ErrorText.h"

#include <cstring>
#include <vector>

namespace korimbo {

CBodyVerifier::CBodyVerifier(std::unique_ptr<File> container, qint64 bodyOffset, std::unique_ptr<File> source)
    : m_container(std::move(container)), m_bodyOffset(bodyOffset), m_source(std::move(source)) {}

CBodyVerifier::~CBodyVerifier() {
    Abort();
    if (m_thread.joinable())
        m_thread.join();
}

void CBodyVerifier::SetChain(const std::uint8_t chain[16]) {
    std::memcpy(m_chain, chain, 16);
}

void CBodyVerifier::Start() {
    m_ran = true;
    m_thread = std::thread([this] { Run(); });
}

void CBodyVerifier::Published(qint64 bodyBytes) {
    {
        const std::lock_guard lock(m_mutex);
        m_published = bodyBytes;
    }
    m_changed.notify_one();
}

void CBodyVerifier::Finish(qint64 bodyBytes, int padCount) {
    {
        const std::lock_guard lock(m_mutex);
        m_published = bodyBytes;
        m_bodyBytes = bodyBytes;
        m_padCount = padCount;
        m_finished = true;
    }
    m_changed.notify_one();
}

void CBodyVerifier::Abort() {
    {
        const std::lock_guard lock(m_mutex);
        m_aborted = true;
    }
    m_changed.notify_one();
}

CBodyVerifier::Verdict CBodyVerifier::Wait() {
    if (!m_ran) {
        m_ran = true;
        if (!m_aborted)
            Run();
    }
    if (m_thread.joinable())
        m_thread.join();
    return m_result == 0 ? Verdict::kMatched : Verdict::kFailed;
}

void CBodyVerifier::Run() {
    m_result = Check();
}

int CBodyVerifier::Fail(int message, const QString& detail, bool verifyFailedToo) {
    m_outcome.message = message;
    m_outcome.detail = detail;
    m_outcome.verifyFailedToo = verifyFailedToo;
    return -1;
}

int CBodyVerifier::CompareWithSource(const std::uint8_t* plain, int length) {
    std::uint8_t* original = m_original.data();
    const qint64 n = m_source->Read(original, length);
    if (n != length)
        return Fail(msg::kVerifySize, QString(), false);
    if (std::memcmp(original, plain, static_cast<std::size_t>(length)) != 0)
        return Fail(msg::kVerifyContent, QString(), false);
    m_outcome.output += length;
    return 0;
}

int CBodyVerifier::Check() {
    CInflater inflater;
    if (!inflater.Ready())
        return Fail(msg::kInflateStart, inflater.Error());
    std::vector<std::uint8_t> input(kPieceSize);
    std::vector<std::uint8_t> output(kPieceSize);
    if (m_container->Seek(m_bodyOffset, Whence::Begin) < 0 || m_source->Seek(0, Whence::Begin) < 0)
        return Fail(msg::kBodyDamaged, u'\n' + ErrnoText(m_container->Error()));

    qint64 read = 0;
    bool streamEnded = false;
    for (;;) {
        qint64 available = 0;
        bool finished = false;
        int padCount = 0;
        {
            // A piece is taken once the one after it has begun, or at the end: only the last one is padded.
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_aborted || m_finished || m_published > read + kPieceSize; });
            if (m_aborted)
                return -1;
            available = m_published;
            finished = m_finished;
            padCount = m_padCount;
        }
        m_outcome.padCount = padCount;
        if (finished && read >= available)
            break;
        const int want = static_cast<int>(std::min<qint64>(kPieceSize, available - read));
        const qint64 n = m_container->Read(input.data(), want);
        if (n < 0)
            return Fail(msg::kBodyDamaged, u'\n' + ErrnoText(m_container->Error()));
        m_outcome.endedEarly = n != want;
        if (n != want || (finished && read + n >= available && n < padCount))
            return Fail(msg::kBodyDamaged, QStringLiteral("データが途中で終わっています。"));
        if (m_cipher.DecryptCbc(input.data(), input.data(), static_cast<std::size_t>(n), m_chain) != 0)
            return Fail(msg::kBodyDecipher, QString());
        read += n;
        m_outcome.bodyRead = read;
        const int usable = static_cast<int>(finished && read >= available ? n - padCount : n);
        if (streamEnded) {
            if (usable > 0)
                return Fail(msg::kBodySize, QStringLiteral("（%1,%2）").arg(read - n).arg(read));
            continue;
        }
        inflater.Input(input.data(), static_cast<std::size_t>(usable));
        for (;;) {
            inflater.Output(output.data(), kPieceSize);
            const CInflater::Step step = inflater.Run();
            if (step == CInflater::Step::Failed)
                return Fail(msg::kBodyDamaged, inflater.Error());
            const int produced = kPieceSize - static_cast<int>(inflater.OutputLeft());
            if (produced > 0 && CompareWithSource(output.data(), produced) != 0)
                return -1;
            if (step == CInflater::Step::End) {
                streamEnded = true;
                break;
            }
            if (inflater.OutputLeft() != 0) // the input is used up, the rest needs the next piece
                break;
        }
        if (streamEnded && inflater.InputLeft() > 0)
            return Fail(msg::kBodySize, QStringLiteral("（%1,%2）").arg(read - n).arg(read));
    }
    if (!streamEnded)
        return Fail(msg::kBodyDamaged, QStringLiteral("データが途中で終わっています。"));
    std::uint8_t extra = 0;
    const qint64 more = m_source->Read(&extra, 1);
    if (more != 0)
        return Fail(msg::kVerifySize, QString(), false);
    return 0;
}

} // namespace korimbo
