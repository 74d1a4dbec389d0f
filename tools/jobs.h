// Turning a command line into conversions, and running them: on worker threads, or one file on the calling thread.
#pragma once

#include "console.h"
#include "options.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zarnconv {

struct Job {
    std::string input;
    std::string output;    // the name handed to the library
    std::string written;   // where the library puts it: `output` with the save type's extension
    std::string conflict;  // why the job is skipped: its output is an input, or another job's output
};

struct Plan {
    std::vector<Job> jobs;
    const SaveFormat* format = nullptr;
    std::string folder_to_create;  // an output folder named with a final "/" that is not there yet
    std::string error;             // set when the command line leads to no conversion
};

// Decides the save type and every output name, and marks the jobs whose
// output collides with an input or with another job's output. Looks at the
// file system only to tell folders and to resolve names.
Plan plan_jobs(const Options& options, const std::vector<SaveFormat>& formats);

// Converts one file by reading it, applying the operations in order and
// writing it: empty on success, else what went wrong.
std::string convert_file(const Job& job, const SaveFormat& format, const Options& options);

// Runs every job on options.threads threads, each with its own record; a
// single worker with no bar to draw is the calling thread itself.
// Reports failures on `console` and returns how many jobs failed.
std::size_t run_jobs(const Plan& plan, const Options& options, Console& console, bool show_progress);

}  // namespace zarnconv
