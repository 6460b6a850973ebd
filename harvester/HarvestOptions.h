#pragma once
// The command-line options of both harvesters, read by one parser.
//
//   [/open settings] [/type formtype] [/in inPath] [/out outPath] [/data dataFile] [/autorun]
//
// Option words in any case; a value word keeps its case. An option that takes
// a value consumes the next word whatever it is (none: an empty value); a
// later option overwrites an earlier one. Each program adds its own rows to
// these (glean: /jobs, /help) and decides what a stray word means (the
// window shows its usage, glean names the word).
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The options both programs take; a path is set only when its option was given.
struct HarvestOptions {
    std::optional<std::string> settings, formType, inDir, outDir, dataFile;
    bool autorun = false;
};

// One option word as written with "/" ("/type"), or a word matched as it
// stands ("-h"). `set` receives the value (empty for an option without one)
// and returns "" or why the value cannot be used.
struct OptionRow {
    const char* word;
    bool takesValue;
    std::function<std::string(const std::string& value)> set;
};

// For an option without a value: sets `flag`.
std::function<std::string(const std::string&)> SetFlag(bool& flag);

// The rows of the options in HarvestOptions, writing into `o`.
std::vector<OptionRow> HarvestOptionRows(HarvestOptions& o);

struct OptionsRead {
    std::vector<std::string> strays;  // words that are neither an option nor its value
    std::string error;                // the first value a row turned away, or ""
};

// Splits argumentText (see clsCmdline; throws beyond its word limit) and
// applies the rows. With `doubleDash`, "--type x" and "--type=x" are other
// spellings of "/type x"; a value given with "=" to an option without one
// makes the word a stray.
OptionsRead ReadOptions(const std::string& argumentText, const std::vector<OptionRow>& rows, bool doubleDash);
