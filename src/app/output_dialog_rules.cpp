#include "app/output_dialog_rules.h"

#include "engine/compute.h"

namespace quillon::app {

OutputDialogEnabling OutputDialogEnabled(bool fileOn, CurveEndMode xminMode, CurveEndMode xmaxMode,
                                         CurveStepMode stepMode, FitMethod method,
                                         int dataLineCount) {
    OutputDialogEnabling e;
    e.radios = fileOn;
    e.xminPercent = fileOn && xminMode == CurveEndMode::Percent;
    e.xminValue = fileOn && xminMode == CurveEndMode::Value;
    e.xmaxPercent = fileOn && xmaxMode == CurveEndMode::Percent;
    e.xmaxValue = fileOn && xmaxMode == CurveEndMode::Value;
    e.divisionsRange = fileOn && stepMode == CurveStepMode::Range;
    e.divisionsSpacing = fileOn && stepMode == CurveStepMode::Spacing;
    e.paramTable = method != FitMethod::All;
    e.run = CanCompute(dataLineCount);
    return e;
}

}  // namespace quillon::app
