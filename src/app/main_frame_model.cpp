// The main frame's model bar: the catalogue's models ("Y =") and, beside
// them, the entry of a formula of the user's own (式:).
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QToolBar>

#include "app/commands.h"
#include "app/dialogs.h"
#include "app/document.h"
#include "app/formula_entry.h"
#include "app/main_frame.h"
#include "models/catalogue.h"
#include "models/model_registry.h"

namespace quillon::app {
namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool IsFixedCModel(int id) {
    const ModelEntry* entry = FindModel(id);
    return entry != nullptr && entry->fixedC;
}

}  // namespace

void CMainFrame::CreateModelBar() {
    addToolBarBreak();
    m_modelBar = addToolBar("Model functions");
    m_modelBar->setObjectName("128-model");
    m_modelBar->addWidget(new QLabel(" Y = ", m_modelBar));
    m_modelCombo = new QComboBox(m_modelBar);
    m_modelCombo->setObjectName(QString::number(kIdModelCombo));
    for (int id = 0; id < kModelCount; ++id) {
        m_modelCombo->addItem(QString::fromStdString(ModelComboEntry(id)));
    }
    m_modelCombo->setCurrentIndex(m_doc->Settings().modelId);
    m_modelCombo->setStatusTip(FromUtf8(StatusPrompt(kIdModelCombo)));
    m_modelCombo->setToolTip(FromUtf8(ToolTip(kIdModelCombo)));
    m_modelCombo->setMaxVisibleItems(20);
    m_modelBar->addWidget(m_modelCombo);
    m_modelBar->addWidget(new QLabel("  式: ", m_modelBar));
    m_formulaEntry = new FormulaEntry(*m_settings, m_modelBar);
    m_modelBar->addWidget(m_formulaEntry);
}

std::vector<QWidget*> CMainFrame::ModelAndMethodWidgets() const {
    return {m_modelCombo, m_formulaEntry, m_methodCombo, m_fileCheck};
}

void CMainFrame::OnModelSelected(int index) {
    m_doc->Settings().modelId = index;
    // The fixed-C models ask for C every time they are chosen.
    if (IsFixedCModel(index)) {
        CFixParameterDlg dialog(m_doc->Settings().fixedCDegrees, this);
        if (dialog.exec() == QDialog::Accepted) {
            m_doc->Settings().fixedCDegrees = dialog.Value();
        }
    }
}

}  // namespace quillon::app
