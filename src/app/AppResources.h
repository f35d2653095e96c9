#pragma once

namespace tv {

// Makes the pictures and the manual built into the start-up library available under ":/tallyvane".
void initAppResources();

} // namespace tv
