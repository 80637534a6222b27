// One run of the window's start button over a tree, offscreen, as the program does it: the run on
// its worker thread, the window's loop taking its rows until the summary. Prints how long that
// takes, the processor time the window's own thread spent meanwhile (taking and showing the
// rows), the longest time the window went without painting, and how much memory the result log
// holds afterwards. With TOVANA_BENCH_FRAME_MS set, a timer asks the window to repaint
// that often, as a desktop does while the window is moved or uncovered (the repaints then cost
// the run their share of the processor); without it only the new rows make it paint.
// TOVANA_FS_DELAY_US makes the disk slow (see rename/SlowFileSystem.h).
//
//   tovana_window_bench FOLDER
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "journal/JournalStore.h"
#include "rename/FileSystemPosix.h"
#include "rename/SlowFileSystem.h"
#include "ui/qt/uTovana.h"

namespace {

double ThreadSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Times every paint event of the window.
class PaintClock : public QObject {
  public:
    using Clock = std::chrono::steady_clock;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const Clock::time_point now = Clock::now();
            if (counting) {
                longest = std::max(longest, now - last);
                ++paints;
            }
            last = now;
        }
        return QObject::eventFilter(watched, event);
    }
    void Start() {
        counting = true;
        last = Clock::now();
    }
    Clock::time_point last{};
    Clock::duration longest{};
    int paints = 0;
    bool counting = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tovana::RaiseOpenFileLimit();
    tovana::FileSystemPosix posix;
    tovana::SlowFileSystem fileSystem(posix, tovana::FileSystemDelayFromEnvironment());
    // Journaled, as the program's runs are (and tovana-cli's in the same script).
    const std::unique_ptr<tovana::JournalStore> journals = tovana::JournalStore::ForCurrentUser();
    TovanaServices services;
    services.fileSystem = &fileSystem;
    services.journals = journals.get();
    QString summary;
    services.showBox = [&summary](const tovana::Box& box) {
        summary = QString::fromStdString(box.text);
        return tovana::BoxAnswer::Ok;
    };
    TfTovana window(services);
    window.show();
    QApplication::processEvents();
    auto& ui = window.controls();
    ui.ePath->setText(QString::fromLocal8Bit(argv[1]));
    ui.cSubDir->setChecked(true);
    ui.cRenDir->setChecked(true);
    ui.cReplSpace->setChecked(true);

    PaintClock paints;
    window.installEventFilter(&paints);
    QTimer frames;
    QObject::connect(&frames, &QTimer::timeout, &window, [&window] { window.update(); });
    if (const int every = qEnvironmentVariableIntValue("TOVANA_BENCH_FRAME_MS"); every > 0) {
        frames.start(every);
    }
    QApplication::processEvents();

    const long before = ResidentKiB();
    const double windowCpuBefore = ThreadSeconds();
    const auto start = std::chrono::steady_clock::now();
    paints.Start();
    window.form().bOKClick();
    while (window.form().Running()) {
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    const auto end = std::chrono::steady_clock::now();
    const double windowCpu = ThreadSeconds() - windowCpuBefore;
    // The time from the last paint to the summary counts too.
    const auto longest = std::max(paints.longest, end - paints.last);
    QApplication::processEvents();  // the last rows are painted when the summary box opens
    const double seconds = std::chrono::duration<double>(end - start).count();
    const long after = ResidentKiB();
    std::printf(
        "rows %d, run %.3f s, window's thread %.3f s, longest paint gap %.0f ms (%d paints), "
        "memory added %.1f MB\n",
        window.resultLog().rowCount(), seconds, windowCpu,
        std::chrono::duration<double, std::milli>(longest).count(), paints.paints,
        (after - before) / 1024.0);
    return 0;
}
