#pragma once

#include "crypto/AesCipher.h"
#include "util/FileSystem.h"

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace korimbo {

// Checks the body of a new container while the writer still compresses: reads it back from the file
// behind the writer, deciphers it on a chain of its own, inflates it and compares every byte with the
// source, read again through a handle of its own. Runs on its own thread (Start) or, for a small file,
// on the caller's inside Wait once the body is complete.
//
// The writer tells it what is on disk (Published), then the end (Finish) or a failure (Abort). The
// verifier never talks to the user: its failure is an outcome the engine reports.
class CBodyVerifier {
public:
    static constexpr int kPieceSize = 128000;

    struct Outcome {
        int message = 0;              // catalogue number of the failure, 0 when it passed or was aborted
        QString detail;               // zlib's text, an error text or the sizes
        bool verifyFailedToo = false; // the general "verification failed" message follows
        qint64 output = 0;            // bytes the body inflated to
        qint64 bodyRead = 0;          // body bytes read back
        int padCount = 0;             // the writer's pad count the last piece was read with
        bool endedEarly = false;      // the file ended before the bytes the writer had published
    };

    // `container` reads the file being written, whose body starts at `bodyOffset`; `source` the original.
    CBodyVerifier(std::unique_ptr<File> container, qint64 bodyOffset, std::unique_ptr<File> source);
    ~CBodyVerifier();
    CBodyVerifier(const CBodyVerifier&) = delete;
    CBodyVerifier& operator=(const CBodyVerifier&) = delete;

    // Keyed by the engine for decryption, with the body's first chaining value, before Start or Wait.
    CAesCipher& Cipher() { return m_cipher; }
    void SetChain(const std::uint8_t chain[16]);

    void Start();
    void Published(qint64 bodyBytes);
    void Finish(qint64 bodyBytes, int padCount);
    void Abort();
    // How the check ended: the body matched, or it did not (failed or aborted; Result() tells which).
    enum class [[nodiscard]] Verdict {
        kMatched,
        kFailed,
    };
    // Joins the thread (or runs the check here when none was started).
    Verdict Wait();
    const Outcome& Result() const { return m_outcome; }
    // What the writer told at Finish, and where the body starts: for the same check again (see endedEarly).
    qint64 BodyOffset() const { return m_bodyOffset; }
    qint64 FinishedBytes() const { return m_bodyBytes; }
    int FinishedPadCount() const { return m_padCount; }

private:
    void Run();
    int Check();
    int Fail(int message, const QString& detail, bool verifyFailedToo = true);
    int CompareWithSource(const std::uint8_t* plain, int length);

    std::unique_ptr<File> m_container;
    qint64 m_bodyOffset;
    std::unique_ptr<File> m_source;
    CAesCipher m_cipher;
    std::uint8_t m_chain[16] = {};
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    qint64 m_published = 0;
    bool m_finished = false;
    bool m_aborted = false;
    qint64 m_bodyBytes = 0;
    int m_padCount = 0;
    bool m_ran = false;
    int m_result = -1;
    Outcome m_outcome;
    std::vector<std::uint8_t> m_original = std::vector<std::uint8_t>(kPieceSize);
};

} // namespace korimbo
