#include "scripts_window/code_editor.h"

#include <QFontDatabase>
#include <QPainter>
#include <QTextBlock>

namespace kestrel {

namespace {

class Margin final : public QWidget {
  public:
    explicit Margin(CodeEditor* editor) : QWidget(editor), editor_(editor) {}
    QSize sizeHint() const override { return {editor_->marginWidth(), 0}; }

  protected:
    void paintEvent(QPaintEvent* event) override { editor_->paintMargin(event); }

  private:
    CodeEditor* editor_;
};

}  // namespace

CodeEditor::CodeEditor(QWidget* parent) : QPlainTextEdit(parent), margin_(new Margin(this)) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(this, &QPlainTextEdit::blockCountChanged, this,
            [this] { setViewportMargins(marginWidth(), 0, 0, 0); });
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
        if (dy != 0)
            margin_->scroll(0, dy);
        else
            margin_->update(0, rect.y(), margin_->width(), rect.height());
    });
    setViewportMargins(marginWidth(), 0, 0, 0);
}

int CodeEditor::marginWidth() const {
    int digits = 1;
    for (int n = qMax(1, blockCount()); n >= 10; n /= 10) ++digits;
    return 8 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * qMax(3, digits);
}

void CodeEditor::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    const QRect r = contentsRect();
    margin_->setGeometry(QRect(r.left(), r.top(), marginWidth(), r.height()));
}

void CodeEditor::paintMargin(QPaintEvent* event) {
    QPainter painter(margin_);
    painter.fillRect(event->rect(), palette().color(QPalette::AlternateBase));
    painter.setPen(palette().color(QPalette::PlaceholderText));
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    while (block.isValid() && top <= event->rect().bottom()) {
        const int height = qRound(blockBoundingRect(block).height());
        if (block.isVisible() && top + height >= event->rect().top())
            painter.drawText(0, top, margin_->width() - 4, fontMetrics().height(), Qt::AlignRight,
                             QString::number(block.blockNumber() + 1));
        block = block.next();
        top += height;
    }
}

}  // namespace kestrel
