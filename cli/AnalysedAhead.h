#pragma once

#include "AnalyseNames.h"
#include "ReportOptions.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tabulon::cli {

// Named images analysed ahead on helper threads, a few names at most beyond
// the one being taken, and handed over in the order of the names: what is
// written comes out exactly as if each were analysed in turn.
class AnalysedAhead {
public:
    // named: each name as NameImage left it, or nothing where it could not be
    // named (nothing comes of it); threads helpers (at least one).
    AnalysedAhead(const std::vector<std::optional<ImageResult>>& named, const ReportOptions& options, unsigned threads);
    ~AnalysedAhead();
    AnalysedAhead(const AnalysedAhead&) = delete;
    AnalysedAhead& operator=(const AnalysedAhead&) = delete;

    // Calls each for every result of name n in turn, as they come, names being
    // taken in order; then throws what the analysis of the name threw, if it did.
    void Take(std::size_t n, const EachResult& each);

    // How many helpers serve a run over names, while the thread that takes them
    // writes: jobs, or with jobs 0 one a core where there are two or more; none
    // for one name, where standard input is among them (read in turn, as each
    // name asks for it) or where the options read so little of each image that
    // handing it over would cost more (the plain report).
    static unsigned HelpersFor(const std::vector<std::string>& names, const ReportOptions& options, unsigned jobs);

private:
    struct Name {
        std::deque<ImageResult> Ready;
        bool Done = false;
        std::exception_ptr Failure;
    };
    void Work();
    // Analyses name n, keeping its results for Take.
    void Analyse(std::size_t n);

    const std::vector<std::optional<ImageResult>>& named_;
    const ReportOptions& options_;
    std::vector<Name> names_;
    std::size_t next_ = 0;   // the next name a helper takes up
    std::size_t taken_ = 0;  // names handed over whole
    std::size_t ahead_;      // how far past taken_ helpers may go
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> helpers_;
};

}  // namespace tabulon::cli
