#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace korimbo {

// One zlib stream inflated piece by piece through fixed buffers, checked against its own Adler-32. ISA-L's
// inflate where the build has it (several times faster than zlib's), else zlib's; zlib stays the reference
// the other is compared with.
class CInflater {
public:
    enum class Kind { Fastest, Zlib };
    enum class Step { More, End, Failed }; // More: it wants input or room for output

    explicit CInflater(Kind kind = DefaultKind());
    ~CInflater();
    CInflater(const CInflater&) = delete;
    CInflater& operator=(const CInflater&) = delete;

    // False when the state could not be made (no memory); Error() says why.
    bool Ready() const;
    void Input(const std::uint8_t* data, std::size_t size);
    std::size_t InputLeft() const;
    void Output(std::uint8_t* data, std::size_t size);
    std::size_t OutputLeft() const;
    [[nodiscard]] Step Run();
    // Why the stream failed, in the words of the library.
    QString Error() const { return m_error; }

    // Whether this build inflates with ISA-L.
    static bool FastAvailable();
    // What new inflaters use: Fastest unless a test asks for the reference.
    static Kind DefaultKind();
    static void SetDefaultKind(Kind kind);

private:
    struct Zlib;
    struct Isal;
    std::unique_ptr<Zlib> m_zlib;
    std::unique_ptr<Isal> m_isal;
    QString m_error;
};

} // namespace korimbo
