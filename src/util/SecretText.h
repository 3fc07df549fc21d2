#pragma once

#include <QByteArray>
#include <QString>

namespace korimbo {

// Overwrites the characters of `text` where they lie, then empties it. A QString shares its buffer with
// its copies (the line edit's own text, the strings made on the way), and filling it would detach and
// leave that shared original as it was; this writes into the shared buffer itself, so every copy that
// shares it is wiped too. Static data (literals) is only let go.
void WipeString(QString& text);
void WipeBytes(QByteArray& bytes);

// Wipes a string when the scope it was declared in ends, on every return path.
class ScopedWipe {
public:
    explicit ScopedWipe(QString& text) : m_text(text) {}
    ~ScopedWipe() { WipeString(m_text); }
    ScopedWipe(const ScopedWipe&) = delete;
    ScopedWipe& operator=(const ScopedWipe&) = delete;

private:
    QString& m_text;
};

// A copy that shares no buffer with `text`: a secret that must outlive the wipe of where it came from.
QString DeepCopy(const QString& text);

} // namespace korimbo
