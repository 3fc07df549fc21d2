#include "crypto/ContainerProbe.h"

#include "crypto/BodyReader.h"
#include "crypto/ContainerHeader.h"
#include "util/ErrorText.h"
#include "util/MessageNumbers.h"

#include <QFileInfo>

#include <openssl/crypto.h>

#include <cstring>

namespace korimbo {

namespace {

// The body reader pumps the window between pieces; away from the window's thread nothing may.
class QuietInteraction final : public Interaction {
public:
    int Message(const QString&, Icon, Buttons, int, int) override { return kAnswerCancel; }
    void Pump() override {}
    void Sleep(int) override {}
    bool StopRequested() const override { return false; }
    void SetStatusText(const QString&) override {}
};

ContainerVerdict Fault(ContainerFault fault, int error = 0) {
    ContainerVerdict verdict;
    verdict.fault = fault;
    verdict.error = error;
    return verdict;
}

QString TrimmedHint(const ContainerHeader& header) {
    QString hint = header.Hint();
    while (!hint.isEmpty() && hint.back().isSpace())
        hint.chop(1);
    return hint;
}

// The reader's failure as a fault: a read error, a file cut off, or a body that does not inflate.
ContainerFault FaultOf(const CBodyReader::Failure& failure) {
    if (failure.error != 0)
        return ContainerFault::kUnreadable;
    if (failure.endedShort || failure.message == msg::kBodyLength)
        return ContainerFault::kTruncated;
    return ContainerFault::kBodyError;
}

} // namespace

QString FaultText(const ContainerVerdict& verdict, MessageSource& messages) {
    switch (verdict.fault) {
    case ContainerFault::kTruncated:
        return messages.MsgA(msg::kScanTruncated);
    case ContainerFault::kBodyError:
        return messages.MsgA(msg::kScanBodyError);
    case ContainerFault::kHeaderDamaged:
        return messages.MsgA(msg::kScanHeaderDamaged);
    case ContainerFault::kUnreadable:
        return messages.MsgA(msg::kScanUnreadable) + ErrnoText(verdict.error);
    case ContainerFault::kOtherPassword:
        return messages.MsgA(msg::kScanOtherPassword) + verdict.hint + messages.MsgA(msg::kScanOtherPasswordEnd);
    case ContainerFault::kNewerVersion:
        return messages.MsgA(msg::kScanNewerVersion);
    case ContainerFault::kNone:
    case ContainerFault::kNotContainer:
        break;
    }
    return QString();
}

ProbeKeys::ProbeKeys(const Material& material, const QString& signature, const QString& checkText)
    : m_material(material), m_signature(signature), m_checkText(checkText) {}

ProbeKeys::~ProbeKeys() {
    OPENSSL_cleanse(&*m_material, sizeof(Material));
}

struct CContainerProbe::Opened {
    ContainerHeader header;
    qint64 size = 0;
    int nameBlockLength = 0;
};

CContainerProbe::CContainerProbe(std::shared_ptr<const ProbeKeys> keys, FileSystem& files)
    : m_keys(std::move(keys)), m_files(files), m_quiet(std::make_unique<QuietInteraction>()) {
    const ProbeKeys::Material& material = m_keys->Keys();
    static_cast<void>(m_outer.SetDecryptKey(material.outerKey.data(), 32));
    static_cast<void>(m_inner.SetDecryptKey(material.key.data(), 32));
}

CContainerProbe::~CContainerProbe() = default;

bool CContainerProbe::HasContainerName(const QString& path) {
    return path.endsWith(QStringLiteral(".zorf"), Qt::CaseInsensitive);
}

ContainerVerdict CContainerProbe::Check(const QString& path) {
    int error = 0;
    std::unique_ptr<File> in = m_files.Open(path, OpenMode::Read, error);
    if (!in)
        return Fault(ContainerFault::kUnreadable, error);
    Opened opened;
    ContainerVerdict verdict = CheckHead(*in, opened, path);
    if (!verdict.Whole())
        return verdict;
    return CheckBody(*in, opened, std::move(verdict));
}

// Size, outer layer, signature and version, name block and check text; leaves `in` at the body.
ContainerVerdict CContainerProbe::CheckHead(File& in, Opened& opened, const QString& path) {
    opened.size = in.Seek(0, Whence::End);
    if (opened.size < 0 || in.Seek(0, Whence::Begin) < 0)
        return Fault(ContainerFault::kUnreadable, in.Error());
    const bool containerName = HasContainerName(path);
    ContainerHeader& header = opened.header;
    const qint64 n = in.Read(header.Data(), ContainerHeader::kSize);
    if (n < 0)
        return Fault(ContainerFault::kUnreadable, in.Error());
    if (n < ContainerHeader::kSize)
        return Fault(containerName ? ContainerFault::kTruncated : ContainerFault::kNotContainer);
    std::uint8_t chain[16];
    std::memcpy(chain, m_keys->Keys().outerIv.data(), 16);
    if (m_outer.DecryptCbc(header.Data(), header.Data(), ContainerHeader::kSize, chain) != 0)
        return Fault(ContainerFault::kUnreadable);
    if (header.Signature() != m_keys->Signature())
        return Fault(containerName ? ContainerFault::kHeaderDamaged : ContainerFault::kNotContainer);
    if (header.Version() > QStringLiteral("001"))
        return Fault(ContainerFault::kNewerVersion);

    const int k = header.NameBlockLength();
    if (!ContainerHeader::NameBlockLengthValid(k))
        return Fault(ContainerFault::kHeaderDamaged);
    std::uint8_t block[ContainerHeader::kMaxNameBlockLength];
    const qint64 got = in.Read(block, k);
    if (got < 0)
        return Fault(ContainerFault::kUnreadable, in.Error());
    if (got < k)
        return Fault(ContainerFault::kTruncated);
    opened.nameBlockLength = k;
    ContainerVerdict verdict;
    const bool named = ReadName(block, k, verdict.storedName);
    // A check text that fails over a name block the key reads is damage; over garbage, another password.
    if (!OpensWithKey(header.Data() + ContainerHeader::kCheckOffset) && !named) {
        ContainerVerdict other = Fault(ContainerFault::kOtherPassword);
        other.hint = TrimmedHint(header);
        return other;
    }
    if (!OpensWithKey(header.Data() + ContainerHeader::kCheckOffset) || !named || header.PadCount() > 15)
        verdict.fault = ContainerFault::kHeaderDamaged;
    return verdict;
}

// The body inflated to its end, then its size and last bytes against the header. The stored name stays
// with the verdict whatever is found.
ContainerVerdict CContainerProbe::CheckBody(File& in, const Opened& opened, ContainerVerdict verdict) {
    const auto found = [&verdict](ContainerFault fault, int error = 0) {
        verdict.fault = fault;
        verdict.error = error;
        return verdict;
    };
    const ContainerHeader& header = opened.header;
    const qint64 remaining = opened.size - ContainerHeader::kSize - opened.nameBlockLength;
    if (remaining <= 0)
        return found(ContainerFault::kTruncated);
    std::uint8_t chain[16];
    std::memcpy(chain, m_keys->Keys().iv.data(), 16);
    CBodyReader reader(m_inner, *m_quiet);
    if (reader.Read(in, nullptr, remaining, header.PadCount(), chain) != kOk) {
        const CBodyReader::Failure& failure = reader.LastFailure();
        const ContainerFault fault = FaultOf(failure);
        // A read that came back short looks like the end of the file; one more read tells an error apart.
        std::uint8_t more = 0;
        if (fault == ContainerFault::kTruncated && in.Read(&more, 1) < 0)
            return found(ContainerFault::kUnreadable, in.Error());
        return found(fault, failure.error);
    }
    // The stream's own checksum held: what disagrees now is the header.
    if (reader.Output() != header.PlainSize())
        return found(ContainerFault::kHeaderDamaged);
    std::uint8_t sample[ContainerHeader::kTailRunBytes];
    std::memcpy(sample, header.Data() + ContainerHeader::kTailOffset, sizeof sample);
    std::memcpy(chain, m_keys->Keys().iv.data(), 16);
    if (m_inner.DecryptCbc(sample, sample, sizeof sample, chain) != 0)
        return found(ContainerFault::kHeaderDamaged);
    // A file shorter than 16 bytes is stored as its content followed by zero bytes.
    std::uint8_t tail[16];
    std::memcpy(tail, reader.Tail(), 16);
    if (const qint64 output = reader.Output(); output < 16) {
        const auto kept = static_cast<std::size_t>(output);
        std::memmove(tail, tail + 16 - kept, kept);
        std::memset(tail + kept, 0, 16 - kept);
    }
    if (std::memcmp(tail, sample, 16) != 0)
        return found(ContainerFault::kHeaderDamaged);
    return verdict;
}

bool CContainerProbe::OpensWithKey(const std::uint8_t* check) {
    std::uint8_t copy[ContainerHeader::kCheckRunBytes];
    std::memcpy(copy, check, sizeof copy);
    std::uint8_t chain[16];
    std::memcpy(chain, m_keys->Keys().iv.data(), 16);
    if (m_inner.DecryptCbc(copy, copy, sizeof copy, chain) != 0)
        return false;
    const QString& expected = m_keys->CheckText();
    for (int i = 0; i < ContainerHeader::kCheckUnits; ++i)
        if (static_cast<char16_t>(copy[2 * i] | (copy[2 * i + 1] << 8)) != expected.at(i).unicode())
            return false;
    return true;
}

// The name block deciphered with the key: a length that fits the block exactly and blank filler after
// the name, which a wrong key gives with odds too small to matter.
bool CContainerProbe::ReadName(const std::uint8_t* block, int length, QString& name) {
    std::uint8_t plain[ContainerHeader::kMaxNameBlockLength];
    std::memcpy(plain, block, static_cast<std::size_t>(length));
    std::uint8_t chain[16];
    std::memcpy(chain, m_keys->Keys().iv.data(), 16);
    if (m_inner.DecryptCbc(plain, plain, static_cast<std::size_t>(length), chain) != 0)
        return false;
    const auto unitAt = [&plain](int i) { return static_cast<char16_t>(plain[2 * i] | (plain[2 * i + 1] << 8)); };
    const int units = unitAt(0);
    if (units > ContainerHeader::kMaxNameUnits || ContainerHeader::NameBlockLengthFor(units) != length)
        return false;
    for (int i = 1 + units; i < length / 2; ++i)
        if (unitAt(i) != u' ')
            return false;
    name.clear();
    for (int i = 1; i <= units; ++i)
        name.append(QChar(unitAt(i)));
    return true;
}

} // namespace korimbo
