#pragma once

#include <QString>
#include <QTest>

#include <deque>

namespace korimbo {

// Fails the running test; outside a test function (a destructor run after it) the failure is logged.
inline void FailScript(const QString& text, const char* file, int line) {
    if (QTest::currentTestFunction() != nullptr)
        QTest::qFail(qPrintable(text), file, line);
    else
        qCritical("%s (%s:%d)", qPrintable(text), file, line);
}

// The next scripted answer; a question with none left fails the test with `unanswered`.
template <typename T>
T PopScripted(std::deque<T>& queue, T fallback, const QString& unanswered) {
    if (queue.empty()) {
        FailScript(unanswered, __FILE__, __LINE__);
        return fallback;
    }
    T value = queue.front();
    queue.pop_front();
    return value;
}

} // namespace korimbo
