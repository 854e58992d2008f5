// Unit1Results: TForm1's command that saves the results as CSV or JSON.
// Commands: mSaveResultsClick.
#include "ui/Unit1.h"

#include "check/ResultExport.h"
#include "ui/Desktop.h"

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
        std::string fileName = m_saveFileName;
        int filter = m_saveFilter;
        if (!TheDesktop().SaveFile(
                u"結果を保存"_s, { u"CSV (*.csv)"_s, u"JSON (*.json)"_s }, fileName, filter))
            return;
        m_saveFileName = fileName;
        m_saveFilter = filter;
        const Check::ResultFormat format = Check::ResultFormatOf(
            fileName, filter == kJsonFilter ? Check::ResultFormat::Json : Check::ResultFormat::Csv);
        BusyCursor busy;
        Check::SaveResults(fileName, Results().Paths(), format);
    });
}
