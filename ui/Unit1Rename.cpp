// Unit1Rename: TForm1's batch rename of the selected candidates (inactive until written).
#include "ui/Unit1.h"

void TForm1::btnRenameClick() { }
