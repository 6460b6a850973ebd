#pragma once
// The journal beside the data file ("<data file>.journal") holds the one
// append of a run that is not settled yet. It is written before the append,
// with what is needed to prove later that the data file still ends with
// exactly the appended bytes. Each step is one write in place, so a run
// killed at any moment leaves either a whole record or a cleared one;
// Recovery.h settles it. A workbook that is done leaves its record as it is
// (the next record replaces it, the end of the run removes the file): a
// record whose workbook was moved, or whose lines stand, settles as nothing
// to do, so one write per workbook is enough.
#include "common/UniqueHandle.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A file as it stands on disk, to tell later whether a path still names it.
struct FileIdentity {
    unsigned long long dev = 0, ino = 0;
    long long size = 0;
    long long mtimeNs = 0;

    bool SameFile(const FileIdentity& o) const { return dev == o.dev && ino == o.ino; }
    bool Unchanged(const FileIdentity& o) const { return SameFile(o) && size == o.size && mtimeNs == o.mtimeNs; }
};

std::optional<FileIdentity> IdentityOf(const std::string& path);  // nothing when it cannot be found
std::optional<FileIdentity> IdentityOf(int fd);

// The checksum of appended bytes: 64 bits, in four sums of eight bytes a
// step, so that it costs little beside reading a workbook. Any change within
// one eight-byte word changes it.
uint64_t Checksum(std::string_view bytes);
// What records of "glean journal 2" hold: FNV-1a, 64 bits. It takes one
// multiplication a byte, one after the other.
uint64_t ChecksumFnv1a(std::string_view bytes);

struct JournalRecord {
    FileIdentity data;      // the data file appended to (device and inode)
    long long before = 0;   // its size before the append
    long long after = 0;    // and after it
    uint64_t checksum = 0;  // of the bytes appended
    bool fnv1a = false;     // read from an older journal: the checksum is ChecksumFnv1a
    bool created = false;   // the run created the data file: taking the append back removes it
    std::string source;     // the workbook, absolute; the first of them when `books` > 1
    int books = 1;          // workbooks whose lines the append holds, in list order (several only when none moves)
    FileIdentity workbook;  // the workbook as it was harvested
    std::string dest;       // where it goes, absolute; empty: it stays
};

class Journal {
public:
    explicit Journal(std::string dataFile);
    static std::string PathFor(const std::string& dataFile) { return dataFile + ".journal"; }
    const std::string& Path() const { return path_; }
    const std::string& DataFile() const { return dataFile_; }

    // The record left pending, or nothing (no journal, or a cleared one).
    // Throws ConfigError naming the journal when it cannot be read or is damaged.
    std::optional<JournalRecord> Read() const;
    // Throws DataFileError.
    void Write(const JournalRecord& record);
    // Throws DataFileError (unsettled): the record stays.
    void Clear();
    // The record's workbook is done: moved, or its lines stand. Nothing is
    // written (see above).
    void Settled() { pending_ = false; }
    bool Pending() const { return pending_; }
    // Removes the journal file, but never while a record is pending.
    void RemoveIfSettled();

    // The sentence of a configuration error about this journal.
    std::string Damaged(const std::string& what) const;

private:
    std::string dataFile_;
    std::string path_;
    UniqueFd fd_;
    bool pending_ = false;
    bool cleared_ = true;      // the file holds no record
    std::string body_, text_;  // reused for each record
};
