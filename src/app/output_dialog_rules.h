// Which controls of the output settings dialog are enabled, as a function of
// the switch, the radios, the method and the data pane.
#pragma once

#include "records/fit_codes.h"

namespace quillon::app {

struct OutputDialogEnabling {
    bool radios = false;            // the eleven radios
    bool xminPercent = false;       // edit 1358
    bool xminValue = false;         // edit 1359
    bool xmaxPercent = false;       // edit 1363
    bool xmaxValue = false;         // edit 1364
    bool divisionsRange = false;    // edit 1342
    bool divisionsSpacing = false;  // edit 1343
    bool paramTable = false;        // check 1365: never with ALL
    bool run = false;               // button 1354: needs more than two data lines
};

OutputDialogEnabling OutputDialogEnabled(bool fileOn, CurveEndMode xminMode, CurveEndMode xmaxMode,
                                         CurveStepMode stepMode, FitMethod method,
                                         int dataLineCount);

}  // namespace quillon::app
