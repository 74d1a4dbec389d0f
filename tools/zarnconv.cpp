// zarnconv: converts image files between the library's formats.
#include "console.h"
#include "jobs.h"
#include "options.h"
#include "thumbnail.h"

#include <cstdio>
#include <span>

int main(int argc, char** argv)
{
    using namespace zarnconv;
    const std::vector<SaveFormat>& formats = library_save_formats();
    const ParseResult parsed = parse_arguments(std::span<const char* const>(argv + 1, std::size_t(argc - 1)), formats);
    if (!parsed.ok()) {
        std::fprintf(stderr, "zarnconv: %s\nTry 'zarnconv --help' for more.\n", parsed.error.c_str());
        return 2;
    }
    const Options& options = parsed.options;
    switch (options.action) {
    case Options::Action::Help: std::fputs(usage_text().c_str(), stdout); return 0;
    case Options::Action::ListFormats: std::fputs(format_listing(formats).c_str(), stdout); return 0;
    case Options::Action::Thumbnail: return make_thumbnail(options);
    case Options::Action::Convert: break;
    }

    const Plan plan = plan_jobs(options, formats);
    if (!plan.error.empty()) {
        std::fprintf(stderr, "zarnconv: %s\n", plan.error.c_str());
        return 2;
    }
    const bool show_progress = !options.quiet && stderr_is_terminal();
    Console console(show_progress, options.quiet);
    return run_jobs(plan, options, console, show_progress) == 0 ? 0 : 1;
}
