// The run on a worker thread, its rows taken in batches as fast as they come (the most a window
// could ask of the row channel), so that window_bench.sh can set the cost of the thread and the
// batches against tovana-cli on the same tree. TOVANA_FS_DELAY_US makes the disk slow.
//
//   tovana_thread_bench FOLDER
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "form/BackgroundRun.h"
#include "rename/Platform.h"
#include "rename/SlowFileSystem.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    tovana::RaiseOpenFileLimit();
    const std::unique_ptr<tovana::FileSystem> platform = tovana::MakeFileSystem();
    tovana::SlowFileSystem fileSystem(*platform, tovana::FileSystemDelayFromEnvironment());
    tovana::RenameOptions options;
    options.Path = argv[1];
    options.SubDir = true;
    options.RenameDir = true;
    options.ReplaceSpace = true;

    std::mutex mutex;
    std::condition_variable noted;
    bool note = false;
    tovana::BackgroundRun run(
        [&](tovana::RunSink& sink, tovana::RunCounters& counters, const tovana::StopRequest& stop) {
            tovana::Run(options, fileSystem, sink, counters, stop);
        },
        [&] {
            std::lock_guard lock(mutex);
            note = true;
            noted.notify_one();
        });
    std::size_t rows = 0;
    std::size_t batches = 0;
    std::size_t largest = 0;
    for (;;) {
        {
            std::unique_lock lock(mutex);
            noted.wait(lock, [&] { return note; });
            note = false;
        }
        const tovana::RunUpdate update = run.Take();
        rows += update.rows.size();
        batches += !update.rows.empty();
        largest = std::max(largest, update.rows.size());
        if (update.finished) {
            std::printf("rows %zu in %zu batches (largest %zu), %d files, %d folders\n", rows,
                        batches, largest, update.counters.FileCount, update.counters.DirCount);
            return 0;
        }
    }
}
