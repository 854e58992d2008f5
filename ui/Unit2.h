// Unit2: the delete dialog TForm2, a list of check boxes over the members of a group.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class TForm2;
}

class TForm2 : public QDialog {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // Appends a line for path: shown as readable text, kept as the exact bytes.
    void AddFile(const std::string& path, bool checked);
    // Says what OK does to the checked files ("削除" or "ゴミ箱に移動").
    void SetRemoveVerb(const QString& verb);
    int FileCount() const;
    std::string FilePath(int index) const;
    bool IsChecked(int index) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    int lineHeight() const;

    std::unique_ptr<Ui::TForm2> m_ui;
};
