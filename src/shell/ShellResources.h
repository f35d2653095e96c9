#pragma once

namespace tv {

// Makes the pictures and the manual built into the shell library available under ":/tallyvane".
void initShellResources();

} // namespace tv
