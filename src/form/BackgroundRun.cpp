#include "form/BackgroundRun.h"

namespace tovana {

BackgroundRun::BackgroundRun(Body body, std::function<void()> notify,
                             std::chrono::milliseconds quiet)
    : batcher_(std::move(notify), quiet), thread_([this, body = std::move(body)] {
          RunCounters counters;
          std::exception_ptr error;
          try {
              body(batcher_, counters, stop_);
          } catch (...) {
              error = std::current_exception();
          }
          batcher_.Finish(counters, error);
      }) {}

BackgroundRun::~BackgroundRun() {
    RequestStop();
    Wait();
}

void BackgroundRun::Wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

}  // namespace tovana
