#include "startup/SharedState.h"

namespace kestrel {

void resetRunState(SharedState& state) {
    state.RunFinished = 0;
    state.EndHandled = 0;
    state.JudgeBusy = 0;
    state.ConfirmState = 0;
    state.RightCount = 0;
    state.TimeUp = 0;
}

} // namespace kestrel
