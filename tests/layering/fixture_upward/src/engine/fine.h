// An engine header that uses the layers below it, as it may.
#pragma once

#include "models/upward.h"
#include "records/records.h"
