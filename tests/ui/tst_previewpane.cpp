// Tests of the preview pane and the size texts it and the result tree use: a rotated
// photo, a text file, a binary file and a file that is gone, loaded off the window's
// thread.
#include "support/ui/TestFiles.h"
#include "ui/PreviewPane.h"
#include "ui/SizeText.h"

#include <QBuffer>
#include <QDateTime>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestPreviewPane : public QObject {
    Q_OBJECT

private slots:
    void sizesReadAsPeopleReadThem();
    void showsEachKindOfFileAndWhatIsWrong();

private:
    TempDir m_dir;
};

void TestPreviewPane::sizesReadAsPeopleReadThem()
{
    const std::pair<std::uint64_t, QString> cases[] = { { 0, u"0 バイト"_s }, { 980, u"980 バイト"_s },
        { 1023, u"1023 バイト"_s }, { 1024, u"1.0 KB"_s }, { 4813, u"4.7 KB"_s }, { 10188, u"9.9 KB"_s },
        { 10189, u"10 KB"_s }, { 1048535, u"1.0 MB"_s }, { 641728512, u"612 MB"_s },
        { 1932735283, u"1.8 GB"_s }, { UINT64_MAX, u"16 EB"_s } };
    for (const auto& [bytes, text] : cases)
        QCOMPARE(SizeText(bytes), text);
    QCOMPARE(ExactSizeText(1234567), u"1,234,567 バイト"_s);
}

namespace {

// A 40 x 20 JPEG, left half red, that says it must be turned 90 degrees clockwise to be
// seen upright (EXIF orientation 6).
QByteArray RotatedJpeg()
{
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 95);
    // APP1 "Exif", big-endian TIFF header, one IFD entry: Orientation (0x0112), SHORT, 6.
    const QByteArray exif = QByteArray::fromHex("ffe10022" "457869660000" "4d4d002a00000008" "0001"
                                                "011200030000000100060000" "00000000");
    return jpeg.left(2) + exif + jpeg.mid(2);
}

} // namespace

void TestPreviewPane::showsEachKindOfFileAndWhatIsWrong()
{
    PreviewPane pane;
    pane.resize(300, 400);
    pane.show();
    auto* image = pane.findChild<QLabel*>(u"PreviewImage"_s);
    auto* text = pane.findChild<QPlainTextEdit*>(u"PreviewText"_s);
    auto* info = pane.findChild<QLabel*>(u"PreviewInfo"_s);
    QVERIFY(image && text && info);
    QSignalSpy loaded(&pane, &PreviewPane::Loaded);
    const auto show = [&](const std::string& path, std::uint64_t size) {
        pane.ShowFile({ path, size, 1700000000, 3 });
        QVERIFY(pane.Loading());
        QVERIFY(loaded.wait(5000));
        QVERIFY(!pane.Loading());
    };

    const std::string photo = WriteTestFile(m_dir.Path() + "/写真.jpg", RotatedJpeg().toStdString());
    show(photo, 1500000);
    QVERIFY(!image->pixmap().isNull());
    QVERIFY2(image->pixmap().height() > image->pixmap().width(), "the EXIF orientation was not applied");
    const QImage shown = image->pixmap().toImage();
    QVERIFY(qRed(shown.pixel(shown.width() / 2, 2)) > 200);
    QVERIFY(qBlue(shown.pixel(shown.width() / 2, shown.height() - 3)) > 200);
    QVERIFY(text->isHidden());
    QCOMPARE(info->text(),
        QString::fromStdString(photo) + u"\nサイズ：1.4 MB（1,500,000 バイト）\n更新日時："_s
            + QDateTime::fromSecsSinceEpoch(1700000000).toString(u"yyyy/MM/dd HH:mm:ss"_s) + u"\nファイル数：3"_s);

    // A name that is not UTF-8 is opened by its bytes; only the first lines are shown.
    std::string lines;
    for (int i = 1; i <= 500; ++i)
        lines += "行 " + std::to_string(i) + "\n";
    const std::string notes = WriteTestFile(m_dir.Path() + "/notes\xff.txt", lines);
    show(notes, lines.size());
    QVERIFY(text->isVisible());
    QVERIFY(image->isHidden());
    QVERIFY(text->toPlainText().startsWith(u"行 1\n行 2\n"_s));
    QVERIFY(text->toPlainText().contains(u"行 200"_s));
    QVERIFY(!text->toPlainText().contains(u"行 201"_s));
    QVERIFY(info->text().startsWith(u"/"_s) && info->text().contains(u"notes\\xFF.txt"_s));

    // Binary bytes are neither a picture nor text.
    const std::string blob = WriteTestFile(m_dir.Path() + "/data.bin", std::string("\x00\x01\x02\xff", 4));
    show(blob, 4);
    QVERIFY(text->isHidden());
    QVERIFY(image->isVisible());

    // A file gone since the check says so in the pane, not in a box.
    show(m_dir.Path() + "/gone.jpg", 10);
    QCOMPARE(image->text(), u"ファイルが見つかりません"_s);

    // Only the last request is shown: the earlier ones' contents are dropped.
    pane.ShowFile({ photo, 1, 0, 0 });
    pane.ShowFile({ notes, 1, 0, 0 });
    loaded.clear();
    QVERIFY(loaded.wait(5000));
    QTest::qWait(200);
    QCOMPARE(loaded.size(), 1);
    QVERIFY(text->isVisible());
    pane.Clear();
    QVERIFY(info->text().isEmpty() && text->isHidden());
}

QTEST_MAIN(TestPreviewPane)
#include "tst_previewpane.moc"
