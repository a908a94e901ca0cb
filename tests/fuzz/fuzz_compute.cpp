// libFuzzer target: the data-set grammar and a compute. The first three bytes
// choose the model (among the quick ones), the method, the statistics
// switch and the output settings; the rest is the data text. A compute must return with the wait
// cursor balanced and every fitted set carrying its records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/compute.h"
#include "files/text_codec.h"
#include "support/recording_host.h"

namespace {

// Models whose fits stay quick on any input: the two linear fits, sines,
// the saturation curves, the Gaussian, the power and the exponential.
constexpr int kModels[] = {0, 28, 1, 2, 9, 12, 21, 22, 23, 29, 31, 34, 38, 40, 42};
constexpr int kModelChoices = sizeof kModels / sizeof kModels[0];

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    using namespace quillon;
    ComputeSession session;
    session.settings.modelId = kModels[data[0] % kModelChoices];
    session.settings.method =
        static_cast<FitMethod>(data[1] % (static_cast<int>(FitMethod::All) + 1));
    const uint8_t flags = data[2];
    session.settings.output.enabled = (flags & 1) != 0;
    session.settings.output.paramTable = (flags & 2) != 0;
    session.settings.output.contents = static_cast<ResultContents>((flags >> 2) % 3);
    session.settings.output.xminMode = static_cast<CurveEndMode>((flags >> 4) % 3);
    session.settings.output.xmaxMode = static_cast<CurveEndMode>((flags >> 5) % 3);
    session.settings.output.stepMode = static_cast<CurveStepMode>((flags >> 7) & 1);
    session.settings.convergence.n_cut = 20;
    session.settings.statistics = (data[1] & 0x80) != 0;

    const std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);
    const std::vector<std::string> lines = SplitLines(text);
    testing::RecordingHost host;
    const ComputeRecord record = ComputeParameters(lines, session, host, nullptr, 1);

    Require(host.waitDepth == 0);
    Require(host.exportCalls <= 1);
    for (const SetRecord& set : record.sets) {
        Require(set.setNumber >= 1);
        for (const FitRecord& fit : set.fits) {
            Require(!fit.message.empty());
            Require(fit.points >= 2);
        }
    }
    return 0;
}
