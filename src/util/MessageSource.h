#pragma once

#include <QString>

namespace korimbo {

// The texts of the two message catalogues. The engine needs them (its messages, the built-in
// passphrase, the signature and the check text) while the catalogue needs the engine to decipher
// itself, so the engine only sees this interface.
class MessageSource {
public:
    virtual ~MessageSource() = default;
    virtual QString MsgA(int number) = 0; // message A<n>
    virtual QString MsgB(int number) = 0; // fixed text B<n>
};

} // namespace korimbo
