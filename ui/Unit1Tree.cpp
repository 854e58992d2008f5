// Unit1Tree: TForm1's commands on the result tree (inactive until they are written).
#include "ui/Unit1.h"

void TForm1::FileTreeDblClick() { }

void TForm1::PopupMenu2Popup() { }

void TForm1::popRenameClick() { }

void TForm1::popMoveClick() { }

void TForm1::popShowClick() { }

void TForm1::popDeleteClick() { }
