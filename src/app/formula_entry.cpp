#include "app/formula_entry.h"

#include <QFont>
#include <QFontDatabase>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>

#include "models/formula_parser.h"

namespace quillon::app {

QString FormulaProblem(const QString& formula) {
    const std::string text = formula.toStdString();
    const FormulaCompileResult compiled = CompileFormula(text);
    if (compiled.program) {
        return {};
    }
    return QString::fromStdString(FormulaErrorText(compiled.error) + "\n" + text + "\n" +
                                  FormulaCaretLine(text, compiled.error.column));
}

FormulaEntry::FormulaEntry(QSettings& settings, QWidget* parent)
    : QComboBox(parent), m_settings(settings) {
    setObjectName("formula");
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);  // the history changes only on a compute
    setMinimumContentsLength(28);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    lineEdit()->setPlaceholderText("A0*exp(-A1*X) + A2");
    lineEdit()->setClearButtonEnabled(true);
    setStatusTip("X と A0..A31 の式をあてはめます (空欄ならモデル一覧の関数)");
    setToolTip(
        "式: X, A0..A31, + - * / ^, exp log log10 sqrt abs sin cos tan asin acos atan "
        "atan2 sinh cosh tanh min max, PI");
    addItems(m_settings.value(kFormulaHistorySetting).toStringList());
    setCurrentIndex(-1);
    clearEditText();
}

QString FormulaEntry::Formula() const {
    return currentText().trimmed();
}

QStringList FormulaEntry::History() const {
    QStringList items;
    for (int i = 0; i < count(); ++i) {
        items << itemText(i);
    }
    return items;
}

bool FormulaEntry::ApplyTo(FitSettings& settings, QWidget* messageParent) {
    const QString formula = Formula();
    if (formula.isEmpty()) {
        settings.formula.clear();
        return true;
    }
    if (const QString problem = FormulaProblem(formula); !problem.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, "Quillon_L", problem, QMessageBox::Ok, messageParent);
        box.setObjectName("formulaError");
        // A fixed-pitch font keeps the caret under its column.
        box.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        box.exec();
        return false;
    }
    settings.formula = formula.toStdString();
    Remember(formula);
    return true;
}

// The formula goes to the top of the list, once, and the list is kept.
void FormulaEntry::Remember(const QString& formula) {
    QStringList items = History();
    items.removeAll(formula);
    items.prepend(formula);
    while (items.size() > kFormulaHistorySize) {
        items.removeLast();
    }
    clear();
    addItems(items);
    setCurrentIndex(0);
    m_settings.setValue(kFormulaHistorySetting, items);
}

}  // namespace quillon::app
