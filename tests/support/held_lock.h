// Another program's lock on a file, played in this process: a second opening of the file takes it,
// since a lock belongs to the opened file, not to the process. It lets go by itself after a
// generous real time, so that a wait without a bound fails the test that holds it instead of
// hanging it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

#include "platform/durable_files.h"

class HeldLock {
public:
    explicit HeldLock(const std::filesystem::path& path)
        : file_(std::make_unique<platform::AppendFile>(path, platform::AppendTarget::RegularFileOnly)),
          letGo_([this](std::stop_token stop) {
              std::unique_lock<std::mutex> lock(mutex_);
              wake_.wait_for(lock, stop, std::chrono::seconds(20), [] { return false; });
              file_.reset();
          })
    {
    }

    bool Holding()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return file_ != nullptr && file_->error().empty();
    }

private:
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::unique_ptr<platform::AppendFile> file_;
    std::jthread letGo_;  // last: it stops and joins before the rest goes
};
