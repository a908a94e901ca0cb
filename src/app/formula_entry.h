// The window's formula entry (式:) beside the model bar: an editable list of
// the formulas used last, kept in the settings. A formula in it is fitted
// instead of the model bar's choice; one that does not compile is shown in a
// message box and nothing is computed.
#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>

#include "records/records.h"

class QSettings;

namespace quillon::app {

inline constexpr const char* kFormulaHistorySetting = "Options/Formulas";
inline constexpr int kFormulaHistorySize = 10;

// The error of a formula as the message box shows it: what and where, the
// formula and a caret under the column. Empty for a formula that compiles.
QString FormulaProblem(const QString& formula);

class FormulaEntry : public QComboBox {
    Q_OBJECT
  public:
    FormulaEntry(QSettings& settings, QWidget* parent);

    // The entry's text without surrounding blanks; empty: no formula.
    QString Formula() const;
    // Before a compute: puts the formula (or none) into the settings and
    // returns true; or shows why it cannot be fitted and returns false.
    bool ApplyTo(FitSettings& settings, QWidget* messageParent);
    QStringList History() const;

  private:
    void Remember(const QString& formula);

    QSettings& m_settings;
};

}  // namespace quillon::app
