#include "app/qt_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace kestrel {

namespace {

void remember(FileDialogState& state, const QString& path) {
    if (path.isEmpty()) return;
    const QFileInfo info(path);
    state.folder = info.absolutePath();
    state.fileName = info.fileName();
}

}  // namespace

Dialogs::Answer QtDialogs::askYesNo(QWidget* parent, const QString& title,
                                    const QString& question) {
    QMessageBox box(QMessageBox::Question, title, question, QMessageBox::NoButton, parent);
    QAbstractButton* yes = box.addButton(QMessageBox::Yes);
    QAbstractButton* no = box.addButton(QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    // Escape and the close box press this hidden button, so they cancel
    // instead of counting as No.
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    cancel->hide();
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == yes) return Answer::Yes;
    if (box.clickedButton() == no) return Answer::No;
    return Answer::Cancel;
}

void QtDialogs::inform(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::information(parent, title, text);
}

void QtDialogs::message(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void QtDialogs::warn(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::warning(parent, title, text);
}

QString QtDialogs::openFileName(QWidget* parent, FileDialogState& state) {
    const QString path = QFileDialog::getOpenFileName(
        parent, QString(), QDir(state.folder).filePath(state.fileName), state.filter);
    remember(state, path);
    return path;
}

QString QtDialogs::saveFileName(QWidget* parent, FileDialogState& state) {
    const QString path = QFileDialog::getSaveFileName(
        parent, QString(), QDir(state.folder).filePath(state.fileName), state.filter);
    remember(state, path);
    return path;
}

}  // namespace kestrel
