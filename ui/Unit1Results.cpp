// Unit1Results: TForm1's command that saves the results as CSV or JSON.
// Commands: mSaveResultsClick.
#include "ui/Unit1.h"

#include "check/ResultExport.h"
#include "scan/PathRoutines.h"
#include "ui/Desktop.h"
#include "ui/Settings.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The filters of the save dialog, in the order of their indices.
constexpr int kJsonFilter = 1;

} // namespace

void TForm1::mSaveResultsClick()
{
    RunCommand([this] {
        if (Results().GroupCount() == 0)
            return;
        // The first save offers a name in the folder saved to last time.
        std::string fileName = m_saveFileName.empty()
            ? FileScan::JoinPath(StartFolder(Settings::FolderDialog::SaveResults), "重複ファイル.csv")
            : m_saveFileName;
        int filter = m_saveFilter;
        if (!TheDesktop().SaveFile(
                u"結果を保存"_s, { u"CSV (*.csv)"_s, u"JSON (*.json)"_s }, fileName, filter))
            return;
        Settings::SetLastFolder(Settings::FolderDialog::SaveResults, FileScan::ExtractFileDir(fileName));
        m_saveFileName = fileName;
        m_saveFilter = filter;
        const Check::ResultFormat format = Check::ResultFormatOf(
            fileName, filter == kJsonFilter ? Check::ResultFormat::Json : Check::ResultFormat::Csv);
        BusyCursor busy;
        Check::SaveResults(fileName, Results().Paths(), format);
    });
}
