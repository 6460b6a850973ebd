#include "harvester/Recovery.h"

#include "common/UniqueHandle.h"
#include "harvester/RunErrors.h"
#include "harvester/WorkbookList.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class State { Missing, NotAppended, Complete, Unknown };

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// What the data file holds of the append; `what` says what differs.
State Examine(const std::string& data, const JournalRecord& r, bool& partial, std::string& what)
{
    partial = false;
    auto id = IdentityOf(data);
    if (!id)
        return State::Missing;
    if (!id->SameFile(r.data)) {
        what = "it is not the file that was appended to (it was replaced since)";
        return State::Unknown;
    }
    if (id->size == r.before)
        return State::NotAppended;
    if (id->size != r.after) {
        partial = id->size > r.before && id->size < r.after;
        what = "it is " + std::to_string(id->size) + " bytes long, but the append took it from " +
               std::to_string(r.before) + " to " + std::to_string(r.after) + " bytes";
        return State::Unknown;
    }
    UniqueFd fd(::open(data.c_str(), O_RDONLY | O_CLOEXEC));
    std::string bytes(static_cast<size_t>(r.after - r.before), '\0');
    size_t got = 0;
    while (fd && got < bytes.size()) {
        ssize_t n = ::pread(fd.Get(), bytes.data() + got, bytes.size() - got, r.before + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    if (got != bytes.size()) {
        what = std::string("it cannot be read: ") + std::strerror(errno);
        return State::Unknown;
    }
    if ((r.fnv1a ? ChecksumFnv1a(bytes) : Checksum(bytes)) != r.checksum) {
        what = "its last " + std::to_string(bytes.size()) + " bytes are not the lines that were appended";
        return State::Unknown;
    }
    return State::Complete;
}

// Takes the append out; 0 or the errno.
int Cut(const std::string& data, const JournalRecord& r)
{
    if (r.created)
        return ::unlink(data.c_str()) == 0 ? 0 : errno;
    UniqueFd fd(::open(data.c_str(), O_WRONLY | O_CLOEXEC));
    if (!fd || ::ftruncate(fd.Get(), r.before) != 0)
        return errno;
    return 0;
}

void Remove(const Journal& journal)
{
    if (::unlink(journal.Path().c_str()) != 0 && errno != ENOENT)
        throw ConfigError("Cannot remove the journal " + journal.Path() + ": " + std::strerror(errno));
}

}  // namespace

std::string WhoseLines(const JournalRecord& r)
{
    if (r.books == 1)
        return r.source;
    return "the " + std::to_string(r.books) + " workbooks from " + r.source + " on";
}

std::string SettleJournal(Journal& journal)
{
    const std::optional<JournalRecord> r = journal.Read();
    const std::string& data = journal.DataFile();
    if (!r) {
        Remove(journal);
        return {};
    }
    const bool toMove = !r->dest.empty();
    // Moved: gone from the input folder, or the very file harvested is in the
    // output folder (a copy put back into the input folder is another workbook).
    auto dest = toMove ? IdentityOf(r->dest) : std::nullopt;
    const bool moved = toMove && (!Exists(r->source) || (dest && dest->SameFile(r->workbook)));
    bool partial = false;
    std::string what;
    const State state = Examine(data, *r, partial, what);

    auto mismatch = [&](const std::string& whatDiffers, const std::string& todo) {
        return ConfigError("The data file " + data + " does not match the journal " + journal.Path() + ": " +
                           whatDiffers + ". Nothing was changed. " + todo);
    };
    const std::string checkEnd =
        "A run that did not end appended the lines of " + WhoseLines(*r) +
        (r->books == 1 ? ", which is" : ", which are") +
        " still in the input folder. Take those lines out of the data file if they are there, then delete the "
        "journal.";

    if (moved) {
        if (state == State::NotAppended)
            throw mismatch("the workbook " + r->source + " was moved to " + r->dest + " but its lines are not there",
                           "Harvest that workbook again, then delete the journal.");
        Remove(journal);  // the run got as far as the move: the lines stand
        return {};
    }
    if (state == State::Missing || state == State::NotAppended || (!toMove && !partial)) {
        Remove(journal);  // nothing of the append is in the data file, or its lines stand
        return {};
    }
    if (state != State::Complete)
        throw mismatch(what, checkEnd);

    const int err = Cut(data, *r);
    if (err == 0) {
        Remove(journal);
        return "The lines appended for " + r->source + " by a run that did not end were taken out of " + data + ".";
    }
    // An append-only file: finish the run's work instead, if the workbook is the one harvested.
    auto book = IdentityOf(r->source);
    if (toMove && book && book->Unchanged(r->workbook)) {
        try {
            MoveWorkbook(r->source, r->dest);
        } catch (const std::exception& e) {
            throw ConfigError("Cannot settle the journal " + journal.Path() + ": the lines of " + r->source +
                              " cannot be taken out of " + data + " (" + std::strerror(err) + ") and " + e.what() +
                              ". Nothing was changed.");
        }
        Remove(journal);
        return "The lines of " + r->source + " were already in " + data + "; it was moved to " + r->dest + ".";
    }
    throw ConfigError("Cannot take the lines of " + r->source + " out of the data file " + data + ": " +
                      std::strerror(err) + ". The journal " + journal.Path() +
                      " stays until they can be; nothing was changed.");
}
