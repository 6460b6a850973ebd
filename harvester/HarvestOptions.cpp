#include "harvester/HarvestOptions.h"

#include "common/clsCmdline.h"
#include "common/modUtil.h"

namespace {

std::function<std::string(const std::string&)> SetText(std::optional<std::string>& text)
{
    return [&text](const std::string& value) {
        text = value;
        return std::string();
    };
}

const OptionRow* FindRow(const std::vector<OptionRow>& rows, const std::string& word)
{
    for (const OptionRow& row : rows)
        if (word == row.word)
            return &row;
    return nullptr;
}

}  // namespace

std::function<std::string(const std::string&)> SetFlag(bool& flag)
{
    return [&flag](const std::string&) {
        flag = true;
        return std::string();
    };
}

std::vector<OptionRow> HarvestOptionRows(HarvestOptions& o)
{
    return {
        {"/open", true, SetText(o.settings)}, {"/type", true, SetText(o.formType)},
        {"/in", true, SetText(o.inDir)},      {"/out", true, SetText(o.outDir)},
        {"/data", true, SetText(o.dataFile)}, {"/autorun", false, SetFlag(o.autorun)},
    };
}

OptionsRead ReadOptions(const std::string& argumentText, const std::vector<OptionRow>& rows, bool doubleDash)
{
    OptionsRead result;
    clsCmdline cmd;
    cmd.setCmdline(argumentText);
    for (int i = 0; i < cmd.argc; ++i) {
        const std::string word = cmd.arg(i);
        std::string key = Lower(word);
        std::optional<std::string> inlineValue;
        if (doubleDash && key.size() > 2 && key.starts_with("--")) {
            const size_t eq = key.find('=');
            if (eq != std::string::npos) {
                inlineValue = word.substr(eq + 1);
                key.resize(eq);
            }
            key = "/" + key.substr(2);
        }
        const OptionRow* row = FindRow(rows, key);
        if (!row || (inlineValue && !row->takesValue)) {
            result.strays.push_back(word);
            continue;
        }
        std::string value;
        if (inlineValue)
            value = *inlineValue;
        else if (row->takesValue && ++i < cmd.argc)
            value = cmd.arg(i);
        const std::string error = row->set(value);
        if (result.error.empty())
            result.error = error;
    }
    return result;
}
