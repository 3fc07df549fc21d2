#include "ui/USplitterWnd.h"

#include <QMouseEvent>
#include <QSplitterHandle>

#include <algorithm>
#include <functional>

namespace korimbo {

namespace {

class ReleasingHandle final : public QSplitterHandle {
public:
    ReleasingHandle(Qt::Orientation orientation, CUSplitterWnd* parent, std::function<void()> released)
        : QSplitterHandle(orientation, parent), m_released(std::move(released)) {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QSplitterHandle::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton)
            m_released();
    }

private:
    std::function<void()> m_released;
};

} // namespace

std::array<int, 2> PaneWidths::Initial(const SettingsRecord& s) {
    const int tree = std::max(10, s.sizeTvWidth);
    const int middle = std::max(0, s.sizeMfWidth - s.sizeTvWidth - s.sizeLv2Width);
    return {tree, middle};
}

std::array<int, 2> PaneWidths::Layout(const SettingsRecord& s, int windowWidth) {
    const int tree = std::max(10, s.sizeTvWidth);
    const int middle = std::max(100, windowWidth - (tree + s.sizeLv2Width + 14));
    return {tree, middle};
}

void PaneWidths::TakeRelease(SettingsRecord& s, int oldTreeWidth, int treeWidth, int listWidth, int border) {
    if (treeWidth == oldTreeWidth)
        s.sizeLv2Width = std::max(32, listWidth + border - 3);
    else
        s.sizeTvWidth = std::max(50, treeWidth);
}

CUSplitterWnd::CUSplitterWnd(QWidget* parent) : QSplitter(Qt::Horizontal, parent) {
    setHandleWidth(4);
    setChildrenCollapsible(false);
    setFrameShape(QFrame::NoFrame);
}

QSplitterHandle* CUSplitterWnd::createHandle() {
    return new ReleasingHandle(orientation(), this, [this] { Q_EMIT BarReleased(); });
}

} // namespace korimbo
