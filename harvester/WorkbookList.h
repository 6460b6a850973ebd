#pragma once
// The workbooks of a run: which files the input text selects, in name order,
// and moving one of them into the output folder.
//
// The input text (spaces around it and one trailing "/" dropped) is a folder
// (every .xls, .xlsx, .xlsm and .ods in it), a folder and a "*"/"?" pattern
// (letters in any case), or one file. Without a "/" it is taken in the
// current folder. Hidden files and office lock files ("~$...") are never
// listed, nor the run's own files beside the data file.
#include <string>
#include <vector>

struct WorkbookSource {
    std::string folder;    // the folder listed, as typed (or the current folder)
    std::string pattern;   // wildcard pattern; empty: every workbook type
    bool oneFile = false;  // pattern is the name of the one file to harvest
};

// Throws ConfigError naming the path when the text is empty or names no
// folder or file that exists.
WorkbookSource ReadWorkbookSource(const std::string& inText);

// Whether a file of this name (without folder) in the source's folder is one
// of its workbooks, by the name alone.
bool Selects(const WorkbookSource& source, const std::string& name);

// Full paths (folder, "/", name) in name order; files whose absolute path is
// in `skip` are left out.
std::vector<std::string> ListWorkbooks(const WorkbookSource& source, const std::vector<std::string>& skip = {});

// The same for an input text; nothing when it names nothing.
std::vector<std::string> ListWorkbooks(const std::string& inText);

// Moves the file `path` to `dest`, replacing a file of that name there; across
// file systems by a copy renamed into place. Throws rt::RtError naming the
// destination and the system's reason.
void MoveWorkbook(const std::string& path, const std::string& dest);

// The path made absolute and normal, without resolving links.
std::string AbsolutePath(const std::string& path);

// The same for a folder, ending in "/" so that a name can follow.
std::string AbsoluteFolder(const std::string& folder);
// The folder with its links resolved, ending in "/"; empty when it cannot be resolved.
std::string RealFolder(const std::string& folder);
