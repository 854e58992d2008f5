// Form1Controls: the main window's controls and menus by their object names, as the
// window tests reach them (the window keeps them private).
#pragma once

#include "support/ui/Controls.h"
#include "support/ui/ResultRows.h"
#include "ui/Unit1.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>

struct Form1Controls {
    explicit Form1Controls(TForm1& form);

    // The result tree, by rows.
    ResultRows FileTree;
    // The pop-up menus of FileList and FileTree.
    QMenu* PopupMenu1;
    QMenu* PopupMenu2;
    // The help menu "&?".
    QMenu* N3;
    QAction* mExit;
    QAction* mOptionCheck1;
    QAction* mUseTrash;
    QAction* About1;
    QAction* pShow;
    QAction* popShow;
    QActionGroup* IdleCommands;
    QAction* mAddFile;
    QAction* mAddFolder;
    QAction* mDelFile;
    QAction* mClear;
    QAction* mRename;
    QAction* mSaveResults;
    QAction* mChecker;
    QAction* mCleanAll;
    QAction* pAddFile;
    QAction* pAddFolder;
    QAction* pDelFile;
    QAction* pClear;
    QAction* pRename;
    QAction* popRename;
    QAction* popMove;
    QAction* popDelete;
    QAction* popCleanAll;
    QAction* popNotDuplicates;
    QAction* mExclusions;
    QAction* mUndoClean;
    QTabWidget* PageControl1;
    QToolButton* btnAddFile;
    QToolButton* btnAddFolder;
    QToolButton* btnDelFile;
    QToolButton* btnClear;
    QToolButton* btnRename;
    QLabel* CountLabel;
    QListView* FileList;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* ExtEdit;
    QCheckBox* OptionCheck1;
    QToolButton* btnChecker;
    QPushButton* Button1;
    QProgressBar* PBar;
    QMenuBar* MainMenu1;
    QMenu* mFile;
    QMenu* mFind;
};
