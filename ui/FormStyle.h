// FormStyle: the look of the classic controls that the windows' layouts rely on.
#pragma once

class QStyle;

// Returns the style for flat buttons, group boxes and the result tree: glyph and caption
// centred together, the group box caption on its frame line, the tree's connecting lines.
// It lives as long as the application.
QStyle* FormStyle();
