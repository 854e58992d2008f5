// FormLook: what the windows and boxes share in how they look: the application title,
// the font, the dialog border, the place on the screen and the classic style.
#pragma once

#include <QFont>
#include <QString>
#include <Qt>

class QStyle;
class QWidget;

// Returns the application title fixed at start ("" before SetAppTitleFromExecutable).
QString AppTitle();
// Derives the title from the executable's file name: the folder dropped, cut at the first
// ".", every character after the first lower-cased ("SAMPLE.EXE" gives "Sample").
void SetAppTitleFromExecutable(const QString& executablePath);
// Returns the font of the main window, the About box and the dialogs: "ＭＳ Ｐゴシック",
// else a Japanese Gothic that is installed, 12 pixels high.
QFont FormFont();

// The border of the program's dialogs: title, system menu and close box only; on top.
inline constexpr Qt::WindowFlags kResizableDialogFlags = Qt::Dialog | Qt::CustomizeWindowHint
    | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint;
// The same, not resizable.
inline constexpr Qt::WindowFlags kDialogFlags = kResizableDialogFlags | Qt::MSWindowsFixedSizeDialogHint;

// Moves window to the centre of its screen (the primary one before it is shown).
void CentreOnScreen(QWidget* window);

// Returns the style for flat buttons, group boxes and the result tree: glyph and caption
// centred together, the group box caption on its frame line, the tree's connecting lines.
// It lives as long as the application.
QStyle* FormStyle();
