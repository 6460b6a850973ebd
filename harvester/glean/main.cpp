// glean: the harvester without a window, for scheduled and scripted runs.
#include "common/ArgumentText.h"
#include "harvester/GleanCommand.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
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
    return RunGlean(options, std::cerr, isatty(STDERR_FILENO) != 0);
}
