// The main frame's edit, find and print commands: they act on the pane that
// has the focus (edit) or on the data pane (find, replace, print).
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "app/commands.h"
#include "app/main_frame.h"
#include "app/views.h"

namespace quillon::app {

QWidget* CMainFrame::FocusedPane() const {
    return m_ans->hasFocus() ? static_cast<QWidget*>(m_ans) : m_query;
}

void CMainFrame::ConnectEditCommands() {
    auto onPane = [this](auto plainMember, auto richMember) {
        return [this, plainMember, richMember] {
            if (FocusedPane() == m_ans) {
                (m_ans->*richMember)();
            } else {
                (m_query->*plainMember)();
            }
        };
    };
    connect(m_actions.at(kIdUndo), &QAction::triggered, this,
            onPane(&QPlainTextEdit::undo, &QTextEdit::undo));
    connect(m_actions.at(kIdCut), &QAction::triggered, this,
            onPane(&QPlainTextEdit::cut, &QTextEdit::cut));
    connect(m_actions.at(kIdCopy), &QAction::triggered, this,
            onPane(&QPlainTextEdit::copy, &QTextEdit::copy));
    connect(m_actions.at(kIdPaste), &QAction::triggered, this,
            onPane(&QPlainTextEdit::paste, &QTextEdit::paste));
    connect(m_actions.at(kIdPasteSpecial), &QAction::triggered, this,
            onPane(&QPlainTextEdit::paste, &QTextEdit::paste));
    connect(m_actions.at(kIdSelectAll), &QAction::triggered, this,
            onPane(&QPlainTextEdit::selectAll, &QTextEdit::selectAll));
    connect(m_actions.at(kIdFind), &QAction::triggered, this, [this] { Find(true); });
    connect(m_actions.at(kIdFindNext), &QAction::triggered, this, [this] { Find(false); });
    connect(m_actions.at(kIdReplace), &QAction::triggered, this, &CMainFrame::Replace);
}

void CMainFrame::Print() {
    QPrinter printer;
    printer.setPageMargins(
        QMarginsF(CQueryView::kPrintMarginInches, CQueryView::kPrintMarginInches,
                  CQueryView::kPrintMarginInches, CQueryView::kPrintMarginInches),
        QPageLayout::Inch);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted) {
        m_query->print(&printer);
    }
}

void CMainFrame::PrintPreview() {
    QPrinter printer;
    printer.setPageMargins(
        QMarginsF(CQueryView::kPrintMarginInches, CQueryView::kPrintMarginInches,
                  CQueryView::kPrintMarginInches, CQueryView::kPrintMarginInches),
        QPageLayout::Inch);
    QPrintPreviewDialog preview(&printer, this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, m_query, &QPlainTextEdit::print);
    preview.exec();
}

void CMainFrame::PrinterSetup() {
    QPrinter printer;
    QPageSetupDialog dialog(&printer, this);
    dialog.exec();
}

void CMainFrame::Find(bool askForText) {
    if (askForText || m_findText.isEmpty()) {
        bool ok = false;
        const QString text = QInputDialog::getText(
            this, "検索", "検索する文字列:", QLineEdit::Normal, m_findText, &ok);
        if (!ok || text.isEmpty()) {
            return;
        }
        m_findText = text;
    }
    const bool found = FocusedPane() == m_ans ? m_ans->find(m_findText) : m_query->find(m_findText);
    if (!found) {
        QApplication::beep();
    }
}

void CMainFrame::Replace() {
    QDialog dialog(this);
    dialog.setWindowTitle("置換");
    auto* what = new QLineEdit(m_findText, &dialog);
    auto* with = new QLineEdit(&dialog);
    auto* form = new QFormLayout(&dialog);
    form->addRow("検索する文字列:", what);
    form->addRow("置換後の文字列:", with);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted || what->text().isEmpty()) {
        return;
    }
    m_findText = what->text();
    // Replaces every occurrence in the data pane as one undoable step.
    QTextCursor cursor(m_query->document());
    cursor.beginEditBlock();
    QTextCursor hit = m_query->document()->find(m_findText, cursor);
    while (!hit.isNull()) {
        hit.insertText(with->text());
        hit = m_query->document()->find(m_findText, hit);
    }
    cursor.endEditBlock();
}

}  // namespace quillon::app
