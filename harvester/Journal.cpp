#include "harvester/Journal.h"

#include "harvester/RunErrors.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <endian.h>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kMagic = "glean journal 4 ";
// Older records, of one workbook each: settled as ever. Those of version 2
// hold another checksum.
const std::string kMagic3 = "glean journal 3 ";
const std::string kMagicFnv1a = "glean journal 2 ";
constexpr size_t kMaxJournal = 1 << 20;
const char* kKeys[] = {"data", "before", "after", "checksum", "created", "source", "workbook", "dest", "books"};

FileIdentity FromStat(const struct stat& st)
{
    return {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
            static_cast<long long>(st.st_size),
            static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}

void AppendEscaped(std::string& out, const std::string& s)
{
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
}

std::string Unescape(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            ++i;
            out += s[i] == 'n' ? '\n' : s[i];
        } else {
            out += s[i];
        }
    }
    return out;
}

template <class T>
void AppendNumber(std::string& out, T v, int base = 10)
{
    char buf[24];
    out.append(buf, static_cast<size_t>(std::to_chars(buf, buf + sizeof buf, v, base).ptr - buf));
}

// The record's text into `text`, built in `body` first (both reused across records).
void Text(const JournalRecord& r, std::string& body, std::string& text)
{
    auto id = [&](const FileIdentity& f) {
        AppendNumber(body, f.dev);
        body += ' ';
        AppendNumber(body, f.ino);
    };
    body.clear();
    body += "data=";
    id(r.data);
    body += "\nbefore=";
    AppendNumber(body, r.before);
    body += "\nafter=";
    AppendNumber(body, r.after);
    body += "\nchecksum=";
    const size_t at = body.size();
    body.append(16, '0');
    char sum[16];
    const size_t digits = static_cast<size_t>(std::to_chars(sum, sum + 16, r.checksum, 16).ptr - sum);
    body.replace(at + 16 - digits, digits, sum, digits);
    body += "\ncreated=";
    body += r.created ? '1' : '0';
    body += "\nsource=";
    AppendEscaped(body, r.source);
    body += "\nworkbook=";
    id(r.workbook);
    body += ' ';
    AppendNumber(body, r.workbook.size);
    body += ' ';
    AppendNumber(body, r.workbook.mtimeNs);
    body += "\ndest=";
    AppendEscaped(body, r.dest);
    body += "\nbooks=";
    AppendNumber(body, r.books);
    body += "\nend\n";
    text.assign(kMagic);
    AppendNumber(text, body.size());
    text += '\n';
    text += body;
}

// Whole decimal numbers only, no sign unless allowed.
bool Number(const std::string& s, long long& v, bool negative = false)
{
    if (s.empty() || s.size() > 19)
        return false;
    size_t i = negative && s[0] == '-' ? 1 : 0;
    if (i == s.size())
        return false;
    for (size_t k = i; k < s.size(); ++k)
        if (s[k] < '0' || s[k] > '9')
            return false;
    v = std::stoll(s);
    return true;
}

bool Numbers(const std::string& s, long long* out, int n)
{
    size_t pos = 0;
    for (int k = 0; k < n; ++k) {
        size_t sp = s.find(' ', pos);
        if ((sp == std::string::npos) != (k == n - 1))
            return false;
        if (!Number(s.substr(pos, sp == std::string::npos ? std::string::npos : sp - pos), out[k], k == 3))
            return false;
        pos = sp + 1;
    }
    return true;
}

// The record, or the reason why the text is not one.
std::optional<JournalRecord> Parse(const std::string& whole, std::string& why)
{
    const bool fnv1a = whole.rfind(kMagicFnv1a, 0) == 0;
    const bool single = fnv1a || whole.rfind(kMagic3, 0) == 0;  // no "books=" line
    if (whole.rfind("glean journal ", 0) == 0 && whole.rfind(kMagic, 0) != 0 && !single) {
        why = "it was written by another version of glean";
        return std::nullopt;
    }
    if (whole.rfind(kMagic, 0) != 0 && !single) {
        why = "it does not begin with \"" + kMagic.substr(0, kMagic.size() - 1) + "\"";
        return std::nullopt;
    }
    size_t nl = whole.find('\n');
    long long length = 0;
    if (nl == std::string::npos || !Number(whole.substr(kMagic.size(), nl - kMagic.size()), length)) {
        why = "its first line does not end with the length of the record";
        return std::nullopt;
    }
    if (whole.size() - nl - 1 < static_cast<size_t>(length)) {
        why = "it is cut short (" + std::to_string(whole.size() - nl - 1) + " of " + std::to_string(length) + " bytes)";
        return std::nullopt;
    }
    const std::string body = whole.substr(nl + 1, static_cast<size_t>(length));
    if (body.size() < 4 || body.compare(body.size() - 4, 4, "end\n") != 0) {
        why = "its record does not end with the line \"end\"";
        return std::nullopt;
    }
    std::map<std::string, std::string> values;
    for (size_t pos = 0; pos < body.size() - 4;) {
        size_t end = body.find('\n', pos);
        std::string line = body.substr(pos, end - pos);
        pos = end + 1;
        size_t eq = line.find('=');
        if (eq == std::string::npos || !values.emplace(line.substr(0, eq), line.substr(eq + 1)).second) {
            why = "line \"" + line + "\" is not expected there";
            return std::nullopt;
        }
    }
    if (single)
        values.emplace("books", "1");
    for (const char* key : kKeys)
        if (!values.count(key)) {
            why = std::string("the line \"") + key + "=\" is missing";
            return std::nullopt;
        }

    JournalRecord r;
    long long v[4] = {};
    auto bad = [&](const char* key) {
        why = std::string("the value of \"") + key + "\" is not valid: \"" + values[key] + "\"";
        return std::nullopt;
    };
    if (!Numbers(values["data"], v, 2))
        return bad("data");
    r.data.dev = static_cast<unsigned long long>(v[0]), r.data.ino = static_cast<unsigned long long>(v[1]);
    if (!Number(values["before"], r.before))
        return bad("before");
    if (!Number(values["after"], r.after) || r.after <= r.before)
        return bad("after");
    const std::string& sum = values["checksum"];
    if (sum.size() != 16 || sum.find_first_not_of("0123456789abcdef") != std::string::npos)
        return bad("checksum");
    r.checksum = std::stoull(sum, nullptr, 16);
    r.fnv1a = fnv1a;
    if (values["created"] != "0" && values["created"] != "1")
        return bad("created");
    r.created = values["created"] == "1";
    if (r.created && r.before != 0)
        return bad("created");
    r.source = Unescape(values["source"]);
    if (r.source.empty() || r.source[0] != '/')
        return bad("source");
    if (!Numbers(values["workbook"], v, 4))
        return bad("workbook");
    r.workbook = {static_cast<unsigned long long>(v[0]), static_cast<unsigned long long>(v[1]), v[2], v[3]};
    r.dest = Unescape(values["dest"]);
    if (!r.dest.empty() && r.dest[0] != '/')
        return bad("dest");
    long long books = 0;
    if (!Number(values["books"], books) || books < 1 || books > INT32_MAX || (books > 1 && !r.dest.empty()))
        return bad("books");
    r.books = static_cast<int>(books);
    return r;
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FromStat(st);
}

std::optional<FileIdentity> IdentityOf(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    return FromStat(st);
}

uint64_t Checksum(std::string_view bytes)
{
    constexpr uint64_t kPrime = 0x9E3779B97F4A7C15ULL;  // odd: each step is a bijection of the sum
    // The high bits reach the low ones for the next step.
    auto step = [](uint64_t h, uint64_t w) {
        h = (h ^ w) * kPrime;
        return h ^ (h >> 29);
    };
    auto word = [](const char* at) {
        uint64_t w;
        std::memcpy(&w, at, 8);
        return le64toh(w);
    };
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    // Four sums side by side, 32 bytes a round: none waits for another.
    uint64_t a = 0x6A09E667F3BCC909ULL, b = 0xBB67AE8584CAA73BULL, c = 0x3C6EF372FE94F82BULL, d = 0xA54FF53A5F1D36F1ULL;
    for (; end - p >= 32; p += 32) {
        a = step(a, word(p));
        b = step(b, word(p + 8));
        c = step(c, word(p + 16));
        d = step(d, word(p + 24));
    }
    uint64_t h = step(step(step(a, b), c), d);
    for (; end - p >= 8; p += 8)
        h = step(h, word(p));
    uint64_t last = 0;  // the tail, little-endian, and the length: trailing zeros count
    for (int shift = 0; p != end; ++p, shift += 8)
        last |= uint64_t(static_cast<unsigned char>(*p)) << shift;
    return step(step(h, last), bytes.size());
}

uint64_t ChecksumFnv1a(std::string_view bytes)
{
    constexpr uint64_t kPrime = 1099511628211ULL;
    uint64_t h = 14695981039346656037ULL;
    for (const char c : bytes)
        h = (h ^ static_cast<unsigned char>(c)) * kPrime;
    return h;
}

Journal::Journal(std::string dataFile) : dataFile_(std::move(dataFile)), path_(PathFor(dataFile_)) {}

std::string Journal::Damaged(const std::string& what) const
{
    return "The journal " + path_ + " is damaged: " + what +
           ". Nothing was changed. If no harvester is running, compare the end of the data file " + dataFile_ +
           " with the workbooks still in the input folder, take out lines appended for them, then delete the "
           "journal.";
}

std::optional<JournalRecord> Journal::Read() const
{
    UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd) {
        if (errno == ENOENT)
            return std::nullopt;
        throw ConfigError("Cannot read the journal " + path_ + ": " + std::strerror(errno) +
                          ". It records lines appended to " + dataFile_ + " by a run that did not end.");
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw ConfigError(Damaged("it is not a regular file"));
    if (static_cast<size_t>(st.st_size) > kMaxJournal)
        throw ConfigError(Damaged("it is " + std::to_string(st.st_size) + " bytes long"));
    std::string text(static_cast<size_t>(st.st_size), '\0');
    size_t got = 0;
    while (got < text.size()) {
        ssize_t n = ::read(fd.Get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw ConfigError("Cannot read the journal " + path_ + ": " + std::strerror(errno));
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    text.resize(got);
    if (text.empty() || text[0] == '-')
        return std::nullopt;  // cleared
    std::string why;
    auto r = Parse(text, why);
    if (!r)
        throw ConfigError(Damaged(why));
    return r;
}

void Journal::Write(const JournalRecord& record)
{
    if (!fd_) {
        fd_.Reset(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
        if (!fd_)
            throw DataFileError("Cannot write the journal " + path_ + ": " + std::strerror(errno));
    }
    Text(record, body_, text_);
    pending_ = true;
    cleared_ = false;
    const ssize_t put = ::pwrite(fd_.Get(), text_.data(), text_.size(), 0);
    if (put != static_cast<ssize_t>(text_.size())) {
        const int err = put < 0 ? errno : ENOSPC;
        // A record cut short would read as damaged; no append has followed it.
        if (::pwrite(fd_.Get(), "-", 1, 0) == 1)
            pending_ = false, cleared_ = true;
        throw DataFileError("Cannot write the journal " + path_ + ": " + std::strerror(err), pending_);
    }
}

void Journal::Clear()
{
    if (!fd_ || !pending_)
        return;
    if (::pwrite(fd_.Get(), "-", 1, 0) != 1)
        throw DataFileError("Cannot clear the journal " + path_ + ": " + std::strerror(errno), true);
    pending_ = false;
    cleared_ = true;
}

void Journal::RemoveIfSettled()
{
    if (!fd_ || pending_)
        return;
    // A journal that cannot be removed is at least cleared.
    if (::unlink(path_.c_str()) != 0 && !cleared_) {
        [[maybe_unused]] const ssize_t put = ::pwrite(fd_.Get(), "-", 1, 0);
    }
    fd_.Reset();
}
