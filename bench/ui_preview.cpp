// ui_preview: how long the window's event loop waits while the preview pane loads a
// large photo. Writes a JPEG of the given size (40 megapixels by default) when the file
// is missing, shows it in the pane as the results page does, and prints the load time
// and the longest gap between two turns of the event loop meanwhile (a 5 ms timer
// counts them). A benchmark, not a test.
//   usage: ui_preview [FILE.jpg [WIDTH HEIGHT]]   (QT_QPA_PLATFORM=offscreen works)
#include "scan/Platform.h"
#include "ui/PreviewPane.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const std::string path = argc > 1 ? argv[1] : "/tmp/tessarin-preview-40mp.jpg";
    const int width = argc > 3 ? std::atoi(argv[2]) : 7744;
    const int height = argc > 3 ? std::atoi(argv[3]) : 5163;
    Platform::FileInfo info;
    if (!Platform::Stat(path, info).Ok()) {
        QImage image(width, height, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient gradient(0, 0, width, height);
        gradient.setColorAt(0, Qt::darkBlue);
        gradient.setColorAt(1, Qt::yellow);
        painter.fillRect(image.rect(), gradient);
        painter.end();
        // Noise, so that the file is as large as a real photo's (about 20 MB).
        std::uint32_t seed = 1;
        for (int y = 0; y < height; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < width; ++x) {
                seed = seed * 1664525U + 1013904223U;
                const int noise = static_cast<int>(seed >> 26) - 32;
                const QRgb p = line[x];
                line[x] = qRgb(std::clamp(qRed(p) + noise, 0, 255), std::clamp(qGreen(p) - noise, 0, 255),
                    std::clamp(qBlue(p) + noise / 2, 0, 255));
            }
        }
        if (!image.save(QString::fromStdString(path), "JPG", 90)) {
            std::fprintf(stderr, "ui_preview: cannot write %s\n", path.c_str());
            return 2;
        }
        Platform::Stat(path, info);
    }

    PreviewPane pane;
    pane.resize(400, 600);
    pane.show();
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    QObject::connect(&pane, &PreviewPane::Loaded, &app, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        std::printf("%s: %llu bytes, shown after %lld ms, longest event-loop gap %lld ms\n", path.c_str(),
            static_cast<unsigned long long>(info.size), static_cast<long long>(now), static_cast<long long>(longest));
        app.quit();
    });
    // Starts once the pane has shown and painted itself (the fonts' first load is not the
    // preview's).
    QTimer::singleShot(300, &app, [&] {
        clock.start();
        tick.start();
        pane.ShowFile({ path, info.size, info.mtime.seconds, 2 });
    });
    return app.exec();
}
