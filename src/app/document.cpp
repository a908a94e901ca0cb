#include "app/document.h"

#include <QApplication>
#include <QMessageBox>

#include "core/how_to_use.h"

namespace quillon::app {

void QtComputeHost::SendAnswer(AnswerHint hint, const std::string& text) {
    emit m_doc.answer(static_cast<int>(hint), QString::fromStdString(text));
}

void QtComputeHost::ShowMessage(const std::string& text, MessageIcon icon) {
    const QMessageBox::Icon qicon = icon == MessageIcon::Information ? QMessageBox::Information
                                    : icon == MessageIcon::Error     ? QMessageBox::Critical
                                                                     : QMessageBox::Warning;
    QMessageBox box(qicon, QApplication::applicationName(), QString::fromStdString(text),
                    QMessageBox::Ok, m_parent);
    box.exec();
}

void QtComputeHost::Beep() {
    QApplication::beep();
}

void QtComputeHost::ExportResults(const ResultColumnList& columns) {
    if (m_doc.m_exporter) {
        m_doc.m_exporter(columns, m_doc.m_session.settings.modelId, *this);
    }
}

void QtComputeHost::BeginWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtComputeHost::EndWaitCursor() {
    QApplication::restoreOverrideCursor();
}

CQuillon_LDoc::CQuillon_LDoc(QObject* parent) : QObject(parent) {
    setObjectName("CQuillon_LDoc");
}

void CQuillon_LDoc::ComputeParameters(const std::vector<std::string>& lines,
                                      QWidget* messageParent) {
    QtComputeHost host(*this, messageParent);
    m_lastRecord = {};
    m_lastRecord = quillon::ComputeParameters(lines, m_session, host);
}

void CQuillon_LDoc::ShowHowToUse() {
    emit answer(static_cast<int>(AnswerHint::HowToUse), QString::fromStdString(HowToUseText()));
}

}  // namespace quillon::app
