#include "app/dialog_file_ui.h"

#include <QApplication>
#include <QMessageBox>
#include <QSettings>

#include "app/file_dialog.h"
#include "app/overwrite_dialog.h"
#include "app/result_file_dialog.h"

namespace quillon::app {
namespace {

const QString kBoxTitle = QStringLiteral("Quillon_L");
const QString kFileDialogSize = QStringLiteral("Dialogs/FileDialogSize");
const QString kResultDialogSize = QStringLiteral("Dialogs/ResultFileDialogSize");

}  // namespace

int DialogFileUi::ExecSized(QDialog& dialog, const QString& key) {
    if (m_settings != nullptr) {
        const QSize kept = m_settings->value(key).toSize();
        if (kept.isValid()) {
            dialog.resize(kept);
        }
    }
    const int result = dialog.exec();
    if (m_settings != nullptr) {
        m_settings->setValue(key, dialog.size());
    }
    return result;
}

std::optional<std::string> DialogFileUi::AskFilePath(const FileDialogRequest& request) {
    CFileDialogEx dialog(request, m_parent);
    if (ExecSized(dialog, kFileDialogSize) != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.ChosenPath();
}

std::optional<ResultFileAnswer> DialogFileUi::AskResultFile(const ResultWriterState& state,
                                                            DirectoryHistory& history,
                                                            const ConfirmPath& confirm) {
    CFileOutput dialog(state, history, confirm, m_parent);
    ExecSized(dialog, kResultDialogSize);
    return dialog.Answer();
}

OverwriteDecision DialogFileUi::AskOverwrite(const OverwriteInfo& info) {
    COverwriteDlg dialog(info, m_parent);
    dialog.exec();
    return dialog.Decision();
}

SaveChangesAnswer DialogFileUi::AskSaveChanges(const std::string& title) {
    const QString text =
        QStringLiteral("%1 への変更を保存しますか?").arg(QString::fromStdString(title));
    switch (QMessageBox::question(m_parent, kBoxTitle, text,
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                  QMessageBox::Yes)) {
        case QMessageBox::Yes:
            return SaveChangesAnswer::Yes;
        case QMessageBox::No:
            return SaveChangesAnswer::No;
        default:
            return SaveChangesAnswer::Cancel;
    }
}

bool DialogFileUi::AskYesNo(const std::string& text) {
    QMessageBox box(QMessageBox::Information, kBoxTitle, QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    return box.exec() == QMessageBox::Yes;
}

void DialogFileUi::Inform(const std::string& text) {
    QMessageBox::information(m_parent, kBoxTitle, QString::fromStdString(text), QMessageBox::Ok);
}

void DialogFileUi::Warn(const std::string& text) {
    QMessageBox::warning(m_parent, kBoxTitle, QString::fromStdString(text), QMessageBox::Ok);
}

void DialogFileUi::Beep() {
    QApplication::beep();
}

}  // namespace quillon::app
