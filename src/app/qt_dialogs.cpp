#include "app/qt_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace kestrel {

namespace {

void remember(FileDialogState& state, const QString& path) {
    if (path.isEmpty()) return;
    const QFileInfo info(path);
    state.folder = info.absolutePath();
    state.fileName = info.fileName();
}

}  // namespace

bool QtDialogs::askYesNo(QWidget* parent, const QString& title, const QString& question) {
    return QMessageBox::question(parent, title, question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
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
