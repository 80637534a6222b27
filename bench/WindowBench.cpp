// One run of the window's start button over a tree, offscreen: how long bOKClick takes and how
// much memory the result log holds afterwards. TOVANA_FS_DELAY_US makes the disk slow (see
// rename/SlowFileSystem.h).
//
//   tovana_window_bench FOLDER
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "rename/FileSystemPosix.h"
#include "rename/SlowFileSystem.h"
#include "ui/uTovana.h"

namespace {

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

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
    TovanaServices services;
    services.fileSystem = &fileSystem;
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

    const long before = ResidentKiB();
    const auto start = std::chrono::steady_clock::now();
    window.form().bOKClick();
    QApplication::processEvents();  // the rows are painted when the summary box opens
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long after = ResidentKiB();
    std::printf("rows %d, run %.3f s, memory added %.1f MB\n", window.resultLog().rowCount(),
                seconds, (after - before) / 1024.0);
    return 0;
}
