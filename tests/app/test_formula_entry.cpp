// The formula entry beside the model bar: a formula in it is fitted instead
// of the model bar's choice, its recent formulas are kept in the settings,
// and one that does not compile stops the compute with a message box.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>

#include "app/document.h"
#include "app/formula_entry.h"
#include "app/main_frame.h"
#include "app/views.h"
#include "modal.h"

namespace quillon::app {
namespace {

using testing::OnNextModal;

constexpr int kIdCompute = 32771;
const char* const kLine = "// line\n<a[0] = 0.5>\n0 1\n1 3.1\n2 4.9\n3 7.2\n";

void ComputeWith(CMainFrame& frame, const QString& formula) {
    frame.Formula()->setEditText(formula);
    frame.Action(kIdCompute)->trigger();
    frame.WaitForCompute();
}

TEST(FormulaEntry, FormulaIsFittedInsteadOfTheModelAndKeptMostRecentFirst) {
    QTemporaryDir dir;
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    {
        CMainFrame frame(nullptr, &settings);
        frame.QueryView().setPlainText(kLine);
        ComputeWith(frame, "A0 + A1*X");
        EXPECT_TRUE(frame.AnsView().toPlainText().startsWith(
            "Model function: Y = A0 + A1*X; formula\n\n// line\nA1 starts at 1"));
        ComputeWith(frame, "  A0*X + A1 ");  // blanks around it are not kept
        ComputeWith(frame, "A0 + A1*X");     // used again: back to the top, once
        EXPECT_EQ(frame.Formula()->History(), (QStringList{"A0 + A1*X", "A0*X + A1"}));
        // An empty entry leaves the fit to the model bar.
        ComputeWith(frame, "");
        EXPECT_TRUE(frame.AnsView().toPlainText().startsWith("Model function: Y = a + b*X;"));
    }
    EXPECT_EQ(settings.value(kFormulaHistorySetting).toStringList(),
              (QStringList{"A0 + A1*X", "A0*X + A1"}));
    CMainFrame again(nullptr, &settings);
    EXPECT_EQ(again.Formula()->History(), (QStringList{"A0 + A1*X", "A0*X + A1"}));
    EXPECT_EQ(again.Formula()->Formula(), "");  // the entry starts empty
}

TEST(FormulaEntry, HistoryKeepsTheLastTen) {
    QTemporaryDir dir;
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    CMainFrame frame(nullptr, &settings);
    frame.QueryView().setPlainText(kLine);
    for (int i = 0; i < 12; ++i) {
        ComputeWith(frame, QString("A0 + A1*X + %1").arg(i));
    }
    const QStringList history = frame.Formula()->History();
    ASSERT_EQ(history.size(), kFormulaHistorySize);
    EXPECT_EQ(history.front(), "A0 + A1*X + 11");
    EXPECT_EQ(history.back(), "A0 + A1*X + 2");
}

TEST(FormulaEntry, ARefusedFormulaIsShownAndNothingIsComputed) {
    QTemporaryDir dir;
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    CMainFrame frame(nullptr, &settings);
    frame.QueryView().setPlainText(kLine);
    const QString before = frame.AnsView().toPlainText();
    QString shown;
    OnNextModal([&shown](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        shown = box->text();
        box->accept();
    });
    ComputeWith(frame, "A0*Y");
    EXPECT_EQ(shown, "unknown variable 'Y' at column 4\nA0*Y\n   ^");
    EXPECT_EQ(frame.AnsView().toPlainText(), before);
    EXPECT_TRUE(frame.Formula()->History().isEmpty());
    EXPECT_EQ(FormulaProblem("A0*X"), "");
}

}  // namespace
}  // namespace quillon::app
