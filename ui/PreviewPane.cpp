// PreviewPane: the pane that shows the selected file, loaded on a worker thread.
#include "ui/PreviewPane.h"

#include "scan/FileError.h"
#include "scan/PathText.h"
#include "scan/Platform.h"
#include "ui/PathDisplay.h"
#include "ui/SizeText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QPointer>
#include <QThreadPool>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

// How much of a file the text preview and the type sniffing read.
constexpr std::size_t kHeadBytes = 64 * 1024;
constexpr int kTextLines = 200;
// Pictures are decoded no larger than this (scaled on load where the format can), so a
// 40-megapixel photo costs a few MiB, not 160.
constexpr int kDecodeEdge = 1600;

// A file opened by the platform layer, read by Qt's image readers through its own
// handle: the path never has to survive a round trip through QString.
class ReadFileDevice : public QIODevice {
public:
    ReadFileDevice(const Platform::ReadFile& file, std::uint64_t size)
        : m_file(file)
        , m_size(size)
    {
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return static_cast<qint64>(m_size); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const std::int64_t n = m_file.ReadFull(static_cast<std::uint64_t>(pos()), data, static_cast<std::size_t>(maxSize));
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const Platform::ReadFile& m_file;
    std::uint64_t m_size;
};

} // namespace

// What the worker found: a picture, some lines, or neither (an icon then), or the
// reason the file could not be read.
struct PreviewContents {
    QImage picture;
    QString text;
    bool isText = false;
    QString iconName;
    QString genericIconName;
    QString problem;
};

namespace {

std::shared_ptr<PreviewContents> loadContents(const std::string& path)
{
    auto contents = std::make_shared<PreviewContents>();
    Platform::ReadFile file;
    const Platform::Status opened = file.Open(path);
    if (!opened.Ok()) {
        contents->problem = opened == Platform::Error::NotFound ? u"ファイルが見つかりません"_s
                                                                 : QString::fromUtf8(Files::SystemErrorText(opened));
        return contents;
    }
    const std::uint64_t size = file.Info().size;
    std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(size, kHeadBytes)), '\0');
    const std::int64_t got = file.ReadFull(0, head.data(), head.size());
    if (got < 0) {
        contents->problem = u"ファイルを読めません"_s;
        return contents;
    }
    head.resize(static_cast<std::size_t>(got));

    const QMimeDatabase mimes;
    const QString name = PathToDisplay(path.substr(path.rfind('/') + 1));
    const QMimeType type = mimes.mimeTypeForFileNameAndData(name, QByteArray::fromRawData(head.data(), qsizetype(head.size())));
    contents->iconName = type.iconName();
    contents->genericIconName = type.genericIconName();

    if (!QImageReader::imageFormatsForMimeType(type.name().toLatin1()).isEmpty()) {
        ReadFileDevice device(file, size);
        device.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        QImageReader reader(&device);
        reader.setAutoTransform(true);
        QSize full = reader.size();
        if (full.isValid() && (full.width() > kDecodeEdge || full.height() > kDecodeEdge))
            reader.setScaledSize(full.scaled(kDecodeEdge, kDecodeEdge, Qt::KeepAspectRatio));
        if (reader.read(&contents->picture))
            return contents;
        contents->picture = QImage();
    }
    // Text: readable as UTF-8 up to a character cut off at the end of what was read.
    if (head.find('\0') == std::string::npos) {
        std::size_t keep = head.size();
        for (int cut = 0; size > head.size() && cut < 3 && keep > 0 && !FileScan::IsValidUtf8(head.substr(0, keep)); ++cut)
            --keep;
        head.resize(keep);
        if (FileScan::IsValidUtf8(head)) {
            contents->text = QString::fromUtf8(head.data(), qsizetype(head.size())).split(u'\n').mid(0, kTextLines).join(u'\n');
            contents->isText = true;
        }
    }
    return contents;
}

} // namespace

PreviewPane::PreviewPane(QWidget* parent)
    : QWidget(parent)
    , m_image(new QLabel(this))
    , m_text(new QPlainTextEdit(this))
    , m_info(new QLabel(this))
{
    setObjectName(u"ResultPreview"_s);
    m_image->setObjectName(u"PreviewImage"_s);
    m_text->setObjectName(u"PreviewText"_s);
    m_info->setObjectName(u"PreviewInfo"_s);
    m_image->setAlignment(Qt::AlignCenter);
    m_image->setMinimumSize(64, 64);
    m_image->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    m_image->setWordWrap(true);
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->hide();
    m_info->setWordWrap(true);
    // The pane is as wide as the splitter makes it, whatever the path's length.
    m_info->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    setMinimumWidth(0);
    m_info->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_image, 1);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_info);
}

PreviewPane::~PreviewPane() = default;

void PreviewPane::Clear()
{
    ++m_request;
    m_loading = false;
    m_file = {};
    m_path.clear();
    m_facts.clear();
    m_picture = QImage();
    m_image->clear();
    m_image->show();
    m_text->clear();
    m_text->hide();
    m_info->clear();
}

void PreviewPane::ShowFile(const PreviewFacts& file)
{
    Clear();
    m_file = file;
    m_path = PathToDisplay(file.path);
    QStringList info;
    info << u"サイズ："_s + SizeText(file.size) + (file.size >= 1024 ? u"（"_s + ExactSizeText(file.size) + u"）"_s : QString());
    info << u"更新日時："_s + QDateTime::fromSecsSinceEpoch(file.modifiedSeconds).toString(u"yyyy/MM/dd HH:mm:ss"_s);
    if (file.groupFiles > 0)
        info << u"ファイル数："_s + QString::number(file.groupFiles);
    m_facts = info.join(u'\n');
    showInfo();
    m_info->setToolTip(PathToDisplay(file.path));
    m_image->setText(u"読み込み中..."_s);

    const std::uint64_t request = m_request;
    m_loading = true;
    const QPointer<PreviewPane> self(this);
    const std::string path = file.path;
    QThreadPool::globalInstance()->start([self, request, path] {
        std::shared_ptr<PreviewContents> contents = loadContents(path);
        // Back on the window's thread; the pane may be gone or showing another file by then.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, request, contents] {
                if (self)
                    self->showContents(request, contents);
            },
            Qt::QueuedConnection);
    });
}

void PreviewPane::showContents(std::uint64_t request, const std::shared_ptr<PreviewContents>& contents)
{
    if (request != m_request)
        return;
    m_loading = false;
    m_image->clear();
    if (!contents->problem.isEmpty()) {
        m_image->setText(contents->problem);
    } else if (!contents->picture.isNull()) {
        m_picture = contents->picture;
        fitImage();
    } else if (contents->isText) {
        m_image->hide();
        m_text->setPlainText(contents->text);
        m_text->show();
    } else {
        const QIcon icon = QIcon::fromTheme(contents->iconName, QIcon::fromTheme(contents->genericIconName));
        if (icon.isNull())
            m_image->setText(u"プレビューできません"_s);
        else
            m_image->setPixmap(icon.pixmap(96, 96));
    }
    emit Loaded();
}

void PreviewPane::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitImage();
    showInfo();
}

void PreviewPane::showInfo()
{
    if (m_path.isEmpty()) {
        m_info->clear();
        return;
    }
    // A path too long for the pane loses its middle, never its file name.
    const QString path = m_info->fontMetrics().elidedText(m_path, Qt::ElideMiddle, std::max(m_info->width(), 40));
    m_info->setText(path + u'\n' + m_facts);
}

void PreviewPane::fitImage()
{
    if (m_picture.isNull())
        return;
    const QSize box = m_image->size().boundedTo(m_picture.size());
    m_image->setPixmap(QPixmap::fromImage(m_picture.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}
