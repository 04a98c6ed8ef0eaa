#include "main_window/message_log_window.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "main_window/message_log.h"

namespace kestrel {

MessageLogWindow::MessageLogWindow(MessageLog& log) {
    setObjectName(QStringLiteral("frm_Messages"));
    setWindowTitle(QStringLiteral("Messages"));
    setWindowFlag(Qt::Window);
    auto* column = new QVBoxLayout(this);
    view_ = new QPlainTextEdit(this);
    view_->setObjectName(QStringLiteral("MessageList"));
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setMinimumSize(360, 160);
    view_->setPlainText(log.lines().join(QLatin1Char('\n')));
    column->addWidget(view_, 1);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    close->setProperty("escapeButton", true);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    column->addWidget(close, 0, Qt::AlignRight);
    connect(&log, &MessageLog::added, view_, &QPlainTextEdit::appendPlainText);
    resize(560, 300);
}

QString MessageLogWindow::text() const {
    return view_->toPlainText();
}

}  // namespace kestrel
