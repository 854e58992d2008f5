// Unit3: the rename settings dialog TForm3 (prefix, start number, extension, digits).
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>

class QKeyEvent;
class QLineEdit;

namespace Ui {
class TForm3;
}

class TForm3 : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    // The settings as committed when the dialog was accepted.
    // Returns the name prefix typed into Edit1, as path bytes.
    std::string Prefix() const;
    std::int64_t StartNumber() const { return m_startNumber; }
    int DigitCount() const { return m_digitCount; }
    // Returns the extension with its dot, or "" for ".*" (each file keeps its own).
    std::string Extension() const;

    // Commits every field, as leaving each of them would, and closes with OK.
    void accept() override;

    // Return true when the keystroke is discarded: any character but "0"-"9", except
    // control characters (Backspace, and the copy, cut and paste keys).
    bool Edit2KeyPress(const QKeyEvent& key) const;
    bool ComboBox1KeyPress(const QKeyEvent& key) const;
    // Commit the start number and rewrite Edit2 padded to ComboBox1's digits.
    void Edit2Exit();
    // Makes Edit3 an extension with a dot (".*" when emptied).
    void Edit3Exit();
    // Commits the digit count from ComboBox1's text.
    void ComboBox1Exit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void pasteDigits(QLineEdit* edit, bool fromSelection);
    bool showPasteMenu(QLineEdit* edit, const QPoint& globalPos);

    std::unique_ptr<Ui::TForm3> m_ui;
    std::int64_t m_startNumber = 1;
    int m_digitCount = 4;
};
