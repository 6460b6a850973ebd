// glean: the harvester without a window, for scheduled and scripted runs.
#include "common/ArgumentText.h"
#include "harvester/GleanCommand.h"

#include <cstdlib>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
    // The zip reader converts every entry's time with mktime; with TZ unset,
    // glibc checks /etc/localtime again on each call. The same zone, named once.
    setenv("TZ", ":/etc/localtime", 0);
    GleanOptions options = ParseGleanOptions(ArgumentText(argc, argv));
    if (argc - 1 > 20 && options.usageError.empty())
        options.usageError = "more than 20 words";  // the splitter reads no more
    if (options.help) {
        std::cout << GleanUsage();
        return kAllHarvested;
    }
    if (!options.usageError.empty()) {
        std::cerr << "glean: " << options.usageError << "\n" << GleanUsage();
        return kUsageOrConfig;
    }
    if (options.defineGiven)
        return RunDefine(options, std::cout, std::cerr);
    return RunGlean(options, std::cerr, isatty(STDERR_FILENO) != 0, &std::cout);
}
