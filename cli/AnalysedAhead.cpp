#include "AnalysedAhead.h"

#include "ImageSources.h"

#include <algorithm>

namespace tabulon::cli {

AnalysedAhead::AnalysedAhead(const std::vector<std::optional<ImageResult>>& named, const ReportOptions& options,
                             unsigned threads)
    : named_(named), options_(options), names_(named.size()), ahead_(2 * std::size_t{threads}) {
    helpers_.reserve(threads);
    for (unsigned n = 0; n < threads; ++n) helpers_.emplace_back([this] { Work(); });
}

AnalysedAhead::~AnalysedAhead() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& helper : helpers_) helper.join();
}

unsigned AnalysedAhead::HelpersFor(const std::vector<std::string>& names, const ReportOptions& options, unsigned jobs) {
    // The plain report reads a block or two of each image: handing it over would cost more.
    const bool reading =
        options.Json || options.Brief || options.Geometry || options.Tracks || options.Disk || options.Files;
    if (!reading || names.size() < 2) return 0;
    if (std::find(names.begin(), names.end(), kStandardInputName) != names.end()) return 0;
    const unsigned wanted = jobs != 0 ? jobs : std::thread::hardware_concurrency();
    return wanted < 2 ? 0 : static_cast<unsigned>(std::min<std::size_t>(wanted, names.size()));
}

void AnalysedAhead::Work() {
    for (;;) {
        std::size_t n = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || (next_ < names_.size() && next_ < taken_ + ahead_); });
            if (stopping_) return;
            n = next_++;
        }
        Analyse(n);
    }
}

void AnalysedAhead::Analyse(std::size_t n) {
    std::exception_ptr failure;
    try {
        if (named_[n]) {
            AnalyseEach(*named_[n], options_, [this, n](ImageResult& result) {
                {
                    const std::lock_guard lock(mutex_);
                    names_[n].Ready.push_back(std::move(result));
                }
                changed_.notify_all();
            });
        }
    } catch (...) {
        failure = std::current_exception();
    }
    {
        const std::lock_guard lock(mutex_);
        names_[n].Done = true;
        names_[n].Failure = failure;
    }
    changed_.notify_all();
}

void AnalysedAhead::Take(std::size_t n, const EachResult& each) {
    Name& name = names_[n];
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&name] { return !name.Ready.empty() || name.Done; });
        if (name.Ready.empty()) break;
        ImageResult result = std::move(name.Ready.front());
        name.Ready.pop_front();
        lock.unlock();
        each(result);
        lock.lock();
    }
    taken_ = n + 1;
    const std::exception_ptr failure = name.Failure;
    lock.unlock();
    changed_.notify_all();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace tabulon::cli
