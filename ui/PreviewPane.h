// PreviewPane: the pane beside the result tree that shows what the selected file is:
// its picture, its first lines, or its type's icon, and always its path, size, time and
// group.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

class QLabel;
class QPlainTextEdit;
struct PreviewContents;

// What the pane says of a file besides its contents.
struct PreviewFacts {
    std::string path;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    // Files in the file's group; 0 leaves the line out.
    std::size_t groupFiles = 0;
};

class PreviewPane : public QWidget {
    Q_OBJECT

public:
    explicit PreviewPane(QWidget* parent = nullptr);
    ~PreviewPane() override;

    // Shows file; its contents load on a worker thread, so this returns at once. A file
    // that is gone or unreadable says so in the pane.
    void ShowFile(const PreviewFacts& file);
    // Empties the pane (no file selected).
    void Clear();
    // True while a file's contents are still loading.
    bool Loading() const { return m_loading; }

signals:
    // Emitted once a file's contents are shown (or the reason they cannot be).
    void Loaded();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showContents(std::uint64_t request, const std::shared_ptr<PreviewContents>& contents);
    void fitImage();
    void showInfo();

    QLabel* m_image;
    QPlainTextEdit* m_text;
    QLabel* m_info;
    QImage m_picture;
    // Counts requests, so contents of a file no longer selected are dropped.
    std::uint64_t m_request = 0;
    bool m_loading = false;
    PreviewFacts m_file;
    // The path as shown whole, and the lines under it.
    QString m_path;
    QString m_facts;
};
