#include "crypto/Inflater.h"

#include <atomic>
#include <zlib.h>

#ifdef KORIMBO_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

namespace korimbo {

namespace {

std::atomic<CInflater::Kind> g_defaultKind{CInflater::Kind::Fastest};

#ifdef KORIMBO_HAVE_ISAL
QString IsalText(int rc) {
    switch (rc) {
    case ISAL_INVALID_BLOCK:
        return QStringLiteral("invalid block");
    case ISAL_INVALID_SYMBOL:
        return QStringLiteral("invalid symbol");
    case ISAL_INVALID_LOOKBACK:
        return QStringLiteral("invalid distance too far back");
    case ISAL_INVALID_WRAPPER:
        return QStringLiteral("incorrect header check");
    case ISAL_UNSUPPORTED_METHOD:
        return QStringLiteral("unknown compression method");
    case ISAL_INCORRECT_CHECKSUM:
        return QStringLiteral("incorrect data check");
    case ISAL_NEED_DICT:
        return QStringLiteral("need dictionary");
    default:
        return QStringLiteral("inflate error %1").arg(rc);
    }
}
#endif

} // namespace

struct CInflater::Zlib {
    z_stream stream{};
    bool ready = false;
    ~Zlib() {
        if (ready)
            inflateEnd(&stream);
    }
};

#ifdef KORIMBO_HAVE_ISAL
struct CInflater::Isal {
    inflate_state state{};
};
#else
struct CInflater::Isal {};
#endif

CInflater::CInflater(Kind kind) {
#ifdef KORIMBO_HAVE_ISAL
    if (kind == Kind::Fastest) {
        // The state holds two 32 KiB windows: on the heap, not on a thread's stack.
        m_isal = std::make_unique<Isal>();
        isal_inflate_init(&m_isal->state);
        m_isal->state.crc_flag = ISAL_ZLIB;
        return;
    }
#else
    static_cast<void>(kind);
#endif
    m_zlib = std::make_unique<Zlib>();
    const int rc = inflateInit(&m_zlib->stream);
    m_zlib->ready = rc == Z_OK;
    if (!m_zlib->ready)
        m_error = QString::fromLatin1(m_zlib->stream.msg ? m_zlib->stream.msg : zError(rc));
}

CInflater::~CInflater() = default;

bool CInflater::Ready() const {
    return m_isal || (m_zlib && m_zlib->ready);
}

void CInflater::Input(const std::uint8_t* data, std::size_t size) {
#ifdef KORIMBO_HAVE_ISAL
    if (m_isal) {
        m_isal->state.next_in = const_cast<std::uint8_t*>(data);
        m_isal->state.avail_in = static_cast<std::uint32_t>(size);
        return;
    }
#endif
    m_zlib->stream.next_in = const_cast<std::uint8_t*>(data);
    m_zlib->stream.avail_in = static_cast<uInt>(size);
}

std::size_t CInflater::InputLeft() const {
#ifdef KORIMBO_HAVE_ISAL
    if (m_isal)
        return m_isal->state.avail_in;
#endif
    return m_zlib->stream.avail_in;
}

void CInflater::Output(std::uint8_t* data, std::size_t size) {
#ifdef KORIMBO_HAVE_ISAL
    if (m_isal) {
        m_isal->state.next_out = data;
        m_isal->state.avail_out = static_cast<std::uint32_t>(size);
        return;
    }
#endif
    m_zlib->stream.next_out = data;
    m_zlib->stream.avail_out = static_cast<uInt>(size);
}

std::size_t CInflater::OutputLeft() const {
#ifdef KORIMBO_HAVE_ISAL
    if (m_isal)
        return m_isal->state.avail_out;
#endif
    return m_zlib->stream.avail_out;
}

CInflater::Step CInflater::Run() {
#ifdef KORIMBO_HAVE_ISAL
    if (m_isal) {
        const int rc = isal_inflate(&m_isal->state);
        if (rc < 0 || rc == ISAL_NEED_DICT) {
            m_error = IsalText(rc);
            return Step::Failed;
        }
        return m_isal->state.block_state == ISAL_BLOCK_FINISH ? Step::End : Step::More;
    }
#endif
    const int rc = inflate(&m_zlib->stream, Z_NO_FLUSH);
    if (rc == Z_STREAM_END)
        return Step::End;
    if (rc == Z_OK || rc == Z_BUF_ERROR) // Z_BUF_ERROR: no progress without more input or room
        return Step::More;
    m_error = QString::fromLatin1(m_zlib->stream.msg ? m_zlib->stream.msg : zError(rc));
    return Step::Failed;
}

bool CInflater::FastAvailable() {
#ifdef KORIMBO_HAVE_ISAL
    return true;
#else
    return false;
#endif
}

CInflater::Kind CInflater::DefaultKind() {
    return g_defaultKind.load();
}

void CInflater::SetDefaultKind(Kind kind) {
    g_defaultKind.store(kind);
}

} // namespace korimbo
