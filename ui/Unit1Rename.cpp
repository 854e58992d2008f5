// Unit1Rename: TForm1's batch rename of the selected candidates to prefix + serial
// number + extension, each in its own folder.
#include "ui/Unit1.h"

#include "scan/FileOps.h"
#include "scan/FileScan.h"
#include "ui/CandidateList.h"
#include "ui/Desktop.h"
#include "ui/PathDisplay.h"
#include "ui/Unit3.h"

#include <QTreeWidget>

using namespace Qt::Literals::StringLiterals;

namespace {

// Gives the first file node showing oldPath, in display order, the new path.
void renameTreeNode(QTreeWidget* tree, const std::string& oldPath, const std::string& newPath)
{
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = tree->topLevelItem(g);
        for (int c = 0; c < group->childCount(); ++c) {
            if (TForm1::NodePath(group->child(c)) == oldPath) {
                TForm1::SetNodePath(group->child(c), newPath);
                return;
            }
        }
    }
}

} // namespace

void TForm1::btnRenameClick()
{
    if (refuseWhileChecking())
        return;
    RunCommand([this] {
        if (FocusedIndex() < 0 || Candidates().Empty())
            return;
        TForm3 dialog(this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        const std::string prefix = dialog.Prefix();
        if (prefix.empty())
            return;
        std::int64_t number = dialog.StartNumber();
        const int digits = dialog.DigitCount();
        const std::string fixedExt = dialog.Extension();

        const std::size_t count = Candidates().Count();
        for (std::size_t i = 0; i < count; ++i) {
            if (!CandidateSelected(i))
                continue;
            const std::string oldPath = Candidates().At(i);
            // Without a fixed extension every file keeps its own (or none).
            const std::string ext = fixedExt.empty() ? FileScan::ExtractFileExt(oldPath) : fixedExt;
            std::string newName = prefix;
            newName += Files::PadNumber(number, digits);
            newName += ext;
            const std::string newPath = FileScan::ExtractFileDir(oldPath) + newName;
            // A prefix or extension with a "/" is refused rather than moving the file.
            if (Files::RenameInFolder(oldPath, newName) == Files::FileOpResult::TargetExists) {
                // Skipped; it stays selected and its number goes to the next entry.
                TheDesktop().Information(
                    u"ファイル名："_s + PathToDisplay(newPath) + u"は、すでに存在します。"_s);
                continue;
            }
            renameTreeNode(FileTree, oldPath, newPath);
            ReplaceCandidate(i, newPath);
            ++number;
        }
    });
}
