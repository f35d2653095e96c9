#pragma once

namespace tv {

// Combo boxes are announced by the name of their label (their accessible name or buddy) and
// give their current text as their value. Qt on Linux names a combo box by its current text, so
// a screen reader could not tell one field from another. Call once a QApplication exists.
void installAccessibleComboBoxes();

} // namespace tv
