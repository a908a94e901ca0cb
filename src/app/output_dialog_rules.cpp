#include "app/output_dialog_rules.h"

#include "engine/compute.h"

namespace quillon::app {

OutputDialogEnabling OutputDialogEnabled(bool fileOn, int xminMode, int xmaxMode, int stepMode,
                                         FitMethod method, int dataLineCount) {
    OutputDialogEnabling e;
    e.radios = fileOn;
    e.xminPercent = fileOn && xminMode == 1;
    e.xminValue = fileOn && xminMode == 2;
    e.xmaxPercent = fileOn && xmaxMode == 1;
    e.xmaxValue = fileOn && xmaxMode == 2;
    e.divisionsRange = fileOn && stepMode == 0;
    e.divisionsSpacing = fileOn && stepMode == 1;
    e.paramTable = method != FitMethod::All;
    e.run = CanCompute(dataLineCount);
    return e;
}

}  // namespace quillon::app
