#pragma once

#include <QPlainTextEdit>

namespace kestrel {

// A plain-text editor with the line numbers in a margin on its left, so
// that a script error's "file:line:column" can be found at a glance.
class CodeEditor final : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit CodeEditor(QWidget* parent = nullptr);

    int marginWidth() const;
    void paintMargin(QPaintEvent* event);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QWidget* margin_;
};

}  // namespace kestrel
