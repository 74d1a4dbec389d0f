// Planning output names and running conversions, with progress fed from the library's callback.
#include "jobs.h"

#include "codecs.h"
#include "colour_profile.h"
#include "exif.h"
#include "metadata_module.h"
#include "record.h"
#include "zarngfx.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace zarnconv {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kUnitsPerFile = 1000;

bool is_folder(const std::string& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

std::string in_quotes(const std::string& path)
{
    return "'" + path + "'";
}

// The folder a file is created in, for the writability check.
std::string parent_folder(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// What makes two names the same file: the device and inode of one that
// exists, which follows symbolic links and knows hard links; else the name
// made absolute with its existing folders resolved.
std::string file_identity(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return "inode " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    std::error_code error;
    fs::path resolved = fs::absolute(path, error);
    if (!error) resolved = fs::weakly_canonical(resolved, error);
    if (error) resolved = fs::path(path).lexically_normal();
    return "name " + resolved.string();
}

// Marks every job whose output would replace an input of the run, or is the
// output of another job too; none of these runs, so no input and no output
// of another job is ever written over.
void mark_collisions(std::vector<Job>& jobs)
{
    std::map<std::string, std::size_t> reading;               // identity -> a job reading it
    std::map<std::string, std::vector<std::size_t>> writing;  // identity -> every job writing it
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        reading.emplace(file_identity(jobs[i].input), i);
        writing[file_identity(jobs[i].written)].push_back(i);
    }
    for (const auto& [identity, writers] : writing) {
        const auto input = reading.find(identity);
        for (const std::size_t i : writers) {
            Job& job = jobs[i];
            if (input != reading.end()) {
                job.conflict = "writing " + in_quotes(job.written) + " would replace the input " +
                               in_quotes(jobs[input->second].input);
                continue;
            }
            if (writers.size() < 2) continue;
            const Job& other = jobs[writers[writers.front() == i ? 1 : 0]];
            job.conflict = in_quotes(job.written) + " is the output of " + in_quotes(other.input) + " too";
        }
    }
}

// The library's progress callback carries no context, so each worker
// points this at the file it is converting.
struct FileProgress {
    std::atomic<std::int64_t> shown{0};  // per mille of the current file, read by the bar
    int passes = 0;                      // the rest only the worker itself touches
    std::int64_t last = 0;

    void restart()
    {
        shown.store(0, std::memory_order_relaxed);
        passes = 0;
        last = 0;
    }
};
thread_local FileProgress* current_file = nullptr;

// A conversion reports reading and then writing, each counting up from the
// start again; the first pass fills the file's first half and later ones
// the second. The bar never moves back.
void on_progress(std::int32_t current, std::int32_t total)
{
    FileProgress* file = current_file;
    if (!file || total <= 0) return;
    const std::int64_t part = std::int64_t(std::clamp(current, 0, total)) * kUnitsPerFile / total;
    if (part < file->last) ++file->passes;
    file->last = part;
    const std::int64_t units = (std::min(file->passes, 1) * kUnitsPerFile + part) / 2;
    if (units > file->shown.load(std::memory_order_relaxed))
        file->shown.store(std::min(units, kUnitsPerFile - 1), std::memory_order_relaxed);
}

Console* message_console = nullptr;

// The library's own explanations ("Cannot save 2 Colour Images in Jpeg
// Format") go where zarnconv's messages go, one line each.
void on_library_message(const char* text, const char* caption)
{
    if (!message_console) return;
    std::string line = std::string(caption ? caption : "") + ": " + (text ? text : "");
    std::ranges::replace(line, '\n', ' ');
    message_console->error(line);
}

// "cannot read 'IN' as Windows Bitmap: file truncated": the library's reason
// for the failed read on this thread, when it has one.
std::string cannot_read(const Job& job, const char* format)
{
    std::string text = "cannot read " + in_quotes(job.input) + " as " + format;
    const char* why = _Pic_FailureText();
    if (why && *why) text += std::string(": ") + why;
    return text;
}

// A file the reader filled in is still converted, with a warning, as it is
// with a premature end of a JPEG.
void warn_if_filled_in(const Job& job)
{
    const char* warning = _Pic_WarningText();
    if (message_console && warning && *warning)
        message_console->error("warning: " + in_quotes(job.input) + ": " + warning);
}

// Reads the input into `pic`, applies the operations in order and writes
// the result; the caller releases the record. The reader's own result tells
// a file that cannot be read from one that cannot be written.
std::string read_change_write(const Job& job, const SaveFormat& format, const Options& options, PicImage& pic)
{
    // The library changes the name's extension in place; leave it room.
    std::string name = job.output;
    name.resize(name.size() + 16, '\0');
    // A plain 24-bit BMP to BMP or JPEG goes a batch of rows at a time.
    if (options.operations.empty()) {
        zarn::begin_attempt();
        switch (zarn::stream_bmp_conversion(job.input.c_str(), name.data(), &pic, format.type, options.quality)) {
        case zarn::Streamed::Written: warn_if_filled_in(job); return {};
        case zarn::Streamed::ReadFailed: return cannot_read(job, _Pic_Description(1));
        case zarn::Streamed::WriteFailed: return "cannot write " + in_quotes(job.written) + " as " + format.description;
        case zarn::Streamed::NotTried: break;
        }
    }
    if (!_Pic_Read(job.input.c_str(), &pic, options.photocd, options.jpeg_scale))
        return cannot_read(job, _Pic_Description(_Pic_Valid(job.input.c_str())));
    warn_if_filled_in(job);
    for (const Operation& operation : options.operations) {
        const std::string why = apply_operation(&pic, operation);
        if (!why.empty()) return "cannot apply " + operation.text + " to " + in_quotes(job.input) + ": " + why;
    }
    if (!_Pic_Write(name.data(), &pic, format.type, options.quality))
        return "cannot write " + in_quotes(job.written) + " as " + format.description;
    return {};
}

}  // namespace

Plan plan_jobs(const Options& options, const std::vector<SaveFormat>& formats)
{
    Plan plan;
    const std::string& output = options.output;
    const bool into_folder = options.inputs.size() > 1 || output.ends_with('/') || is_folder(output);

    if (options.save_type) {
        plan.format = find_by_type(formats, options.save_type);
    } else if (into_folder) {
        plan.error = "writing into a folder needs --type (a number or an extension such as bmp)";
        return plan;
    } else {
        const std::string_view extension = file_extension(output);
        if (extension.empty()) {
            plan.error = "cannot tell the save type of " + in_quotes(output) + ": give --type or an extension";
            return plan;
        }
        plan.format = find_by_extension(formats, extension);
        if (!plan.format) {
            plan.error = "unknown output type '" + std::string(extension) + "' (see --list-formats)";
            return plan;
        }
    }
    if (!plan.format) {
        plan.error = "unknown save type " + std::to_string(options.save_type);
        return plan;
    }
    if (options.lossless) {
        const SaveFormat* lossless = lossless_kind(formats, *plan.format);
        if (!lossless) {
            plan.error = "--lossless: " + plan.format->description + " has no lossless kind";
            return plan;
        }
        plan.format = lossless;
    }

    if (!into_folder) {
        plan.jobs.push_back({options.inputs.front(), output, with_extension(output, plan.format->extension), {}});
        mark_collisions(plan.jobs);
        return plan;
    }
    if (output.ends_with('/') && !is_folder(output)) plan.folder_to_create = output;
    if (!output.ends_with('/') && !is_folder(output)) {
        plan.error = in_quotes(output) + " is not a folder; with several inputs the output must be one";
        return plan;
    }
    const std::string folder = output.ends_with('/') ? output : output + "/";
    for (const std::string& input : options.inputs) {
        Job job;
        job.input = input;
        job.output = job.written = folder + stem(input) + plan.format->extension;
        plan.jobs.push_back(std::move(job));
    }
    mark_collisions(plan.jobs);
    return plan;
}

std::string convert_file(const Job& job, const SaveFormat& format, const Options& options)
{
    // The library answers only yes or no; these checks say why before it is asked.
    struct stat info {};
    if (::stat(job.input.c_str(), &info) != 0)
        return "cannot read " + in_quotes(job.input) + ": " + std::strerror(errno);
    if (!S_ISREG(info.st_mode)) return "cannot read " + in_quotes(job.input) + ": not a regular file";
    if (_Pic_Valid(job.input.c_str()) == 0) return "cannot read " + in_quotes(job.input) + ": not a recognised image";
    const std::string folder = parent_folder(job.written);
    const std::string cannot_write = "cannot write " + in_quotes(job.written) + ": ";
    if (::stat(folder.c_str(), &info) != 0) return cannot_write + std::strerror(errno);
    if (!S_ISDIR(info.st_mode)) return cannot_write + in_quotes(folder) + " is not a folder";
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return cannot_write + std::strerror(errno);

    // Zero-filled, as the library expects a fresh record.
    PicImage pic{};
    pic.progress = current_file ? on_progress : nullptr;
    std::string problem = read_change_write(job, format, options, pic);
    // The photo's date, camera and place go along where the output's format
    // can carry them; a missing module or a format without room is no failure.
    // Pixels kept as stored keep the profile that describes them.
    if (problem.empty() && !options.strip)
        zarn::copy_metadata(job.input, job.written, pic.width, pic.height,
                            zarn::keep_stored_colours() ? zarn::MetadataProfile::Copy : zarn::MetadataProfile::Leave,
                            options.keep_orientation);
    zarn::release_image(&pic);
    return problem;
}

std::size_t run_jobs(const Plan& plan, const Options& options, Console& console, bool show_progress)
{
    const std::vector<Job>& jobs = plan.jobs;
    if (!plan.folder_to_create.empty()) {
        std::error_code error;
        fs::create_directories(plan.folder_to_create, error);
        if (error) {
            console.error("cannot create folder " + in_quotes(plan.folder_to_create) + ": " + error.message());
            return jobs.size();
        }
    }

    message_console = &console;
    _Pic_SetMessageHandler(on_library_message);
    zarn::set_keep_stored_orientation(options.keep_orientation);
    if (options.keep_colours) zarn::set_keep_stored_colours(true);

    const std::size_t worker_count = std::clamp<std::size_t>(std::size_t(options.threads), 1, jobs.size());
    std::vector<FileProgress> progress(worker_count);
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> failures{0};
    std::size_t finished = 0;  // guarded by `mutex`
    std::mutex mutex;
    std::condition_variable changed;

    auto work = [&](FileProgress& slot) {
        current_file = show_progress ? &slot : nullptr;
        for (std::size_t index; (index = next.fetch_add(1)) < jobs.size();) {
            const Job& job = jobs[index];
            slot.restart();
            std::string problem = job.conflict.empty() ? convert_file(job, *plan.format, options)
                                                       : "skipping " + in_quotes(job.input) + ": " + job.conflict;
            if (!problem.empty()) {
                console.error(problem);
                failures.fetch_add(1);
            } else if (job.written != job.output) {
                console.note("wrote " + in_quotes(job.written) + " (" + plan.format->description + " files end in " +
                             plan.format->extension + ")");
            }
            slot.restart();
            {
                const std::lock_guard lock(mutex);
                ++finished;
            }
            changed.notify_one();
        }
        current_file = nullptr;
    };

    if (worker_count == 1 && !show_progress) {
        // Nothing to draw and nothing to share: the one worker is this thread.
        work(progress.front());
    } else {
        std::vector<std::jthread> workers;
        for (std::size_t i = 0; i < worker_count; ++i) workers.emplace_back(work, std::ref(progress[i]));
        if (show_progress) {
            std::unique_lock lock(mutex);
            while (finished < jobs.size()) {
                const std::size_t files_done = finished;
                lock.unlock();
                std::int64_t units = std::int64_t(files_done) * kUnitsPerFile;
                for (const FileProgress& slot : progress) units += slot.shown.load(std::memory_order_relaxed);
                console.progress(units, std::int64_t(jobs.size()) * kUnitsPerFile, files_done, jobs.size());
                lock.lock();
                changed.wait_for(lock, std::chrono::milliseconds(100));
            }
        }
    }
    console.finish();

    _Pic_SetMessageHandler(nullptr);
    message_console = nullptr;
    return failures.load();
}

}  // namespace zarnconv
