#pragma once
// The data file of a run. It holds the data file's lock for the whole run,
// keeps the file open, appends each workbook's lines with one write, takes an
// append back, and tells whether the path still names the file appended to
// (another program may delete it or save over it).
#include "common/DataFileLock.h"
#include "common/UniqueHandle.h"
#include "harvester/Journal.h"

#include <functional>
#include <string>

class DataFileAppender {
public:
    explicit DataFileAppender(std::string path) : path_(std::move(path)) {}
    ~DataFileAppender();
    DataFileAppender(const DataFileAppender&) = delete;
    DataFileAppender& operator=(const DataFileAppender&) = delete;

    const std::string& Path() const { return path_; }

    // Takes the lock: with wait, onWaiting is called once and the call blocks
    // until the other holder lets go; without, a holder is a ConfigError.
    void Lock(bool wait, const std::function<void()>& onWaiting);

    // Opens (or creates) the file for appending. Throws ConfigError naming the
    // file and the system's reason when it cannot be written.
    void Open();

    // For a dry run: the checks of Lock and Open, made without creating,
    // locking or changing any file. Afterwards Prepare answers as in a run, and
    // Pretend stands for Append.
    void CheckLock(bool wait, const std::function<void()>& onWaiting);
    void CheckOpen();
    void Pretend(const JournalRecord& record);

    // An empty file gets the header line first.
    bool IsNew() const { return size_ == 0; }

    // Fills in `r` (the data file's part of the journal record) for
    // appending `lines`: they are written after a line end when the file's
    // last line has none, and after `header` when the file is empty.
    void Prepare(const std::string& header, const std::string& lines, JournalRecord& r);

    // The prepared append, with one write. On failure the part written is
    // taken back and DataFileError thrown (unsettled when that fails too).
    void Append(const std::string& lines, const JournalRecord& record);

    // Takes back the append of `record`, which must be the last one. Throws
    // DataFileError (unsettled) when the file cannot be cut.
    void Undo(const JournalRecord& record);

    // Empty while the path names the open file at the size the run left it;
    // otherwise what happened to it.
    std::string Changed() const;
    // True when the file was replaced or deleted (not merely changed in size).
    bool Gone() const;

    // Removes a file the run created and left empty, lets go of the lock.
    void Close();

private:
    void Adopt();
    void ReadEnding();

    std::string path_;
    DataFileLock lock_;
    UniqueFd fd_;
    FileIdentity id_;
    long long size_ = 0;
    bool created_ = false;
    bool endsWithLineEnd_ = true;
    std::string lead_;  // what the prepared append writes before the lines
};
