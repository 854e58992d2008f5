// Unit1Rename: TForm1's batch rename of the selected candidates to prefix + serial
// number + extension, each in its own folder.
// Commands: btnRenameClick.
#include "ui/Unit1.h"

#include "scan/FileOps.h"
#include "scan/FileScan.h"
#include "ui/CandidateList.h"
#include "ui/Desktop.h"
#include "ui/PathDisplay.h"
#include "ui/Unit3.h"

using namespace Qt::Literals::StringLiterals;

void TForm1::btnRenameClick()
{
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
            // The first file of the results showing the old path follows, keeping its stamp.
            if (const std::optional<Check::FilePlace> place = Results().FindPath(oldPath))
                Results().SetPath(*place, newPath);
            ReplaceCandidate(i, newPath);
            ++number;
        }
    });
}
