#pragma once

#include <functional>

namespace tv {

// Ends the program at once: every window closes without its unload steps or questions, no
// further program code runs, the record set is not closed explicitly. Tests put their own
// handler in place so that the test process lives on.
void endProgramNow();
void setEndProgramHandler(std::function<void()> handler); // empty: back to the real one

// True once endProgramNow() ran; close handlers let the window go without asking.
bool programEnding();

} // namespace tv
