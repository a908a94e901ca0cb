#include "app/document.h"

#include <QApplication>
#include <QMessageBox>

#include "app/compute_worker.h"
#include "app/how_to_use.h"

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
        m_doc.m_exporter(columns, m_doc.m_session.settings, *this);
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

CQuillon_LDoc::~CQuillon_LDoc() = default;

void CQuillon_LDoc::ComputeParameters(const std::vector<std::string>& lines,
                                      QWidget* messageParent) {
    QtComputeHost host(*this, messageParent);
    m_lastRecord = {};
    m_lastRecord = quillon::ComputeParameters(lines, m_session, host, m_fitter);
}

void CQuillon_LDoc::StartCompute(std::vector<std::string> lines, QWidget* messageParent) {
    if (Computing()) {
        return;
    }
    m_lastRecord = {};
    m_workerUiHost = std::make_unique<QtComputeHost>(*this, messageParent);
    m_worker = std::make_unique<ComputeWorker>(
        *m_workerUiHost, [this](AnswerBlock&& block) { emit answers(block); });
    connect(m_worker.get(), &ComputeWorker::progress, this, &CQuillon_LDoc::computeProgress);
    connect(m_worker.get(), &ComputeWorker::finished, this, &CQuillon_LDoc::OnWorkerFinished);
    // The compute works on a copy; nothing changes the settings meanwhile.
    m_worker->Start(std::move(lines), m_session, m_fitter);
}

void CQuillon_LDoc::StopCompute() {
    if (m_worker) {
        m_worker->RequestStop();
    }
}

void CQuillon_LDoc::OnWorkerFinished() {
    m_session = std::move(m_worker->Session());
    m_lastRecord = std::move(m_worker->Record());
    // This runs inside a call the worker posted: it is deleted afterwards.
    m_worker.release()->deleteLater();
    m_workerUiHost.reset();
    emit computeFinished();
}

void CQuillon_LDoc::ShowHowToUse() {
    emit answer(static_cast<int>(AnswerHint::HowToUse), QString::fromStdString(HowToUseText()));
}

}  // namespace quillon::app
