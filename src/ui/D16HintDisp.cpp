#include "ui/D16HintDisp.h"

#include "ui/DialogHook.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

namespace korimbo {

namespace {

QStringList LocalFiles(const QMimeData* data) {
    QStringList paths;
    if (!data)
        return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    return paths;
}

} // namespace

CD16HintDisp::CD16HintDisp(HintLine line, QWidget* parent)
    : QDialog(parent), m_line(std::move(line)), m_frame(new QFrame(this)), m_text(new QPlainTextEdit(this)),
      m_choose(new QPushButton(QStringLiteral("ファイルを選択(&F)..."), this)),
      m_close(new QPushButton(QStringLiteral("閉じる"), this)) {
    setWindowTitle(QStringLiteral("ヒント確認ウィンドウ"));
    setAccessibleName(windowTitle());
    m_frame->setFrameShape(QFrame::StyledPanel);
    m_frame->setFrameShadow(QFrame::Sunken);
    m_frame->setAcceptDrops(true);
    m_frame->installEventFilter(this);
    m_frame->setAccessibleName(QStringLiteral("ドロップ先の枠"));
    auto* frameLayout = new QVBoxLayout(m_frame);
    auto* prompt = new QLabel(QStringLiteral("この枠に、ドラッグ＆ドロップしてください"), m_frame);
    prompt->setAlignment(Qt::AlignCenter);
    frameLayout->addWidget(prompt);
    m_frame->setMinimumHeight(80);

    m_text->setReadOnly(true);
    m_text->setAccessibleName(QStringLiteral("ヒント"));
    m_text->setMinimumSize(420, 140);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_choose);
    buttons->addStretch(1);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_frame);
    layout->addWidget(m_text, 1);
    layout->addLayout(buttons);

    m_close->setDefault(true);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_choose, &QPushButton::clicked, this, &CD16HintDisp::ChooseFiles);
}

void CD16HintDisp::ShowHints(const QStringList& paths) {
    for (const QString& path : paths)
        m_text->appendPlainText(m_line(path));
}

bool CD16HintDisp::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_frame) {
        if (event->type() == QEvent::DragEnter) {
            auto* enter = static_cast<QDragEnterEvent*>(event);
            if (!LocalFiles(enter->mimeData()).isEmpty()) {
                enter->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList paths = LocalFiles(drop->mimeData());
            if (!paths.isEmpty()) {
                drop->acceptProposedAction();
                ShowHints(paths);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

// The keyboard's way to what a drop does.
void CD16HintDisp::ChooseFiles() {
    QFileDialog dialog(this, QStringLiteral("ヒントを確認するファイルの選択"),
                       QStandardPaths::writableLocation(QStandardPaths::HomeLocation));
    dialog.setObjectName(QStringLiteral("ヒントを確認するファイルの選択"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("選択"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("キャンセル"));
    if (DialogHook::Exec(dialog) == QDialog::Accepted)
        ShowHints(dialog.selectedFiles());
}

} // namespace korimbo
