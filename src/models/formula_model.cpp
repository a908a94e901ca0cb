#include "models/formula_model.h"

#include <algorithm>
#include <new>
#include <utility>

#include "models/catalogue.h"
#include "models/formula_parser.h"

namespace quillon {
namespace {

// "A1, A3" from the indices in order.
std::string NameList(const std::vector<int>& indices) {
    std::string list;
    for (const int i : indices) {
        list += (list.empty() ? "A" : ", A") + std::to_string(i);
    }
    return list;
}

}  // namespace

CFormulaModel::CFormulaModel(std::shared_ptr<const FormulaProgram> program, const double* x,
                             const double* y, const double* w, int n, double er)
    : CModelFunction(x, y, w, n, er, program->ParamCount()),
      m_program(std::move(program)),
      m_evaluator(*m_program) {}

bool CFormulaModel::EvaluateAll(double* params) {
    m_evaluator.Values(params, XData(), PointValueBuffer());
    return true;
}

double CFormulaModel::Value(double* params, double x) const {
    return m_program->Value(params, x);
}

int CFormulaModel::Estimate() {
    if (m_nPoints <= 0) {
        return -1;
    }
    ScanDataRanges();
    std::fill(m_pParams.begin(), m_pParams.end(), 1.0);
    std::fill(m_pSteps.begin(), m_pSteps.end(), m_dER);
    return 0;
}

bool CFormulaModel::ValuesAndGradients(const double* params, std::span<double> values,
                                       std::span<double> gradients) {
    m_evaluator.ValuesAndGradients(params, XData(), values, gradients);
    return true;
}

std::unique_ptr<CFormulaModel> CreateFormulaModel(std::string_view formula, const double* x,
                                                  const double* y, const double* w, int n,
                                                  double er) {
    try {
        FormulaCompileResult compiled = CompileFormula(formula);
        if (!compiled.program) {
            return nullptr;
        }
        auto program = std::make_shared<const FormulaProgram>(std::move(*compiled.program));
        return std::make_unique<CFormulaModel>(std::move(program), x, y, w, n, er);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::string FormulaDisplayString(std::string_view formula) {
    return " " + std::string(formula) + "; formula";
}

std::string ModelDisplayText(int modelId, std::string_view formula) {
    return formula.empty() ? std::string(ModelDisplayString(modelId))
                           : FormulaDisplayString(formula);
}

std::string FormulaStartNote(const FormulaProgram& program, const std::vector<bool>& given) {
    std::vector<int> unset;
    std::vector<int> absent;
    for (int i = 0; i < program.ParamCount(); ++i) {
        if (!program.Uses(i)) {
            absent.push_back(i);
        } else if (static_cast<std::size_t>(i) >= given.size() ||
                   !given[static_cast<std::size_t>(i)]) {
            unset.push_back(i);
        }
    }
    std::string note;
    if (!unset.empty()) {
        note += NameList(unset) + (unset.size() == 1 ? " starts" : " start") +
                " at 1 (no initial value given)";
    }
    if (!absent.empty()) {
        note += (note.empty() ? "" : "; ") + NameList(absent) +
                (absent.size() == 1 ? " does" : " do") + " not occur in the formula";
    }
    return note.empty() ? note : note + ".\n";
}

}  // namespace quillon
