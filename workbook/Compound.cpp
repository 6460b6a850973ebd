#include "workbook/Compound.h"

#include "workbook/Workbook.h"

#include <gsf/gsf.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace wb::detail {

namespace {

// GLib messages of libgsf go to the text of the operation that caused them;
// outside such an operation they keep GLib's default treatment.
thread_local std::string* tCapture = nullptr;

void LogHandler(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer)
{
    if (tCapture) {
        // One line per message: libgsf's own span several.
        std::string text = message ? message : "";
        for (char& ch : text)
            if (ch == '\n') ch = ' ';
        if (!tCapture->empty()) tCapture->append("; ");
        tCapture->append(text);
        return;
    }
    g_log_default_handler(domain, level, message, nullptr);
}

void InitGsf()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        const auto levels = GLogLevelFlags(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION);
        // Some libgsf files log without a domain of their own.
        for (const char* domain : {static_cast<const char*>(nullptr), "libgsf", "libgsf:msole", "GLib-GObject"})
            g_log_set_handler(domain, levels, LogHandler, nullptr);
    });
}

class LogCapture {
public:
    explicit LogCapture(std::string& out) : prev_(tCapture) { tCapture = &out; }
    ~LogCapture() { tCapture = prev_; }

private:
    std::string* prev_;
};

template <class T>
struct GUnref {
    void operator()(T* p) const
    {
        if (p) g_object_unref(p);
    }
};

std::string Explain(GError* err, const std::string& logged)
{
    std::string why;
    if (err && err->message) why = err->message;
    if (!logged.empty()) why += (why.empty() ? "" : "; ") + logged;
    return why;
}

// Small files (every form) are read whole with one system call, which is
// much cheaper than mapping them; large ones are mapped.
GsfInput* OpenFile(const std::string& path, GError** err)
{
    constexpr off_t kReadWhole = 8 << 20;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        g_set_error(err, G_FILE_ERROR, g_file_error_from_errno(errno), "%s", std::strerror(errno));
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kReadWhole) {
        const size_t size = size_t(st.st_size);
        auto* buf = static_cast<guint8*>(g_malloc(size ? size : 1));
        size_t got = 0;
        while (got < size) {
            const ssize_t n = ::read(fd, buf + got, size - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += size_t(n);
        }
        ::close(fd);
        if (got != size) {
            g_free(buf);
            g_set_error(err, G_FILE_ERROR, G_FILE_ERROR_IO, "the file could not be read");
            return nullptr;
        }
        return gsf_input_memory_new(buf, gsf_off_t(size), TRUE);
    }
    ::close(fd);
    GsfInput* in = gsf_input_mmap_new(path.c_str(), nullptr);
    return in ? in : gsf_input_stdio_new(path.c_str(), err);
}

}  // namespace

struct CompoundStream::Handles {
    std::unique_ptr<GsfInput, GUnref<GsfInput>> file;
    std::unique_ptr<GsfInfile, GUnref<GsfInfile>> infile;
    std::unique_ptr<GsfInput, GUnref<GsfInput>> stream;
};

bool HasCompoundSignature(const void* data, size_t size)
{
    static const unsigned char kSig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    return size >= 8 && std::memcmp(data, kSig, 8) == 0;
}

CompoundStream::CompoundStream(const std::string& path, std::initializer_list<std::string_view> names)
    : h_(std::make_unique<Handles>())
{
    InitGsf();
    std::string logged;
    LogCapture capture(logged);

    GError* err = nullptr;
    GsfInput* file = OpenFile(path, &err);
    if (!file) {
        std::string why = Explain(err, logged);
        if (err) g_error_free(err);
        throw Error(path + ": cannot open the file" + (why.empty() ? "" : " (" + why + ")"));
    }
    h_->file.reset(file);

    GsfInfile* infile = gsf_infile_msole_new(file, &err);
    if (!infile) {
        std::string why = Explain(err, logged);
        if (err) g_error_free(err);
        throw Error(path + ": not a readable compound file" + (why.empty() ? "" : " (" + why + ")"));
    }
    h_->infile.reset(infile);

    const int count = gsf_infile_num_children(infile);
    for (std::string_view want : names) {
        for (int i = 0; i < count && !h_->stream; ++i) {
            const char* have = gsf_infile_name_by_index(infile, i);
            if (!have || std::strlen(have) != want.size()) continue;
            if (g_ascii_strncasecmp(have, want.data(), want.size()) != 0) continue;
            GsfInput* child = gsf_infile_child_by_index(infile, i);
            if (!child) continue;
            // A storage of that name is not the stream we want.
            if (GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0) {
                g_object_unref(child);
                continue;
            }
            h_->stream.reset(child);
            name_ = have;
        }
        if (h_->stream) break;
    }
    if (!h_->stream) {
        // A password-protected .xlsx is a compound file that holds the
        // encrypted package and how it was encrypted.
        bool info = false, package = false;
        for (int i = 0; i < count; ++i) {
            const char* have = gsf_infile_name_by_index(infile, i);
            info = info || (have && std::strcmp(have, "EncryptionInfo") == 0);
            package = package || (have && std::strcmp(have, "EncryptedPackage") == 0);
        }
        if (info && package)
            throw Error(path + ": the workbook is encrypted (protected by a password to open); "
                               "save it without that password to read it");
        std::string wanted;
        for (std::string_view n : names) wanted += (wanted.empty() ? "\"" : " or \"") + std::string(n) + "\"";
        throw Error(path + ": the compound file holds no " + wanted + " stream" +
                    (logged.empty() ? "" : " (" + logged + ")"));
    }
    // libgsf reads on past a sector chain that loops or lacks its end, with
    // only a warning; such a file is damaged and its data not to be trusted.
    if (!logged.empty()) throw Error(path + ": the compound file is damaged (" + logged + ")");
    const gsf_off_t size = gsf_input_size(h_->stream.get());
    size_ = size > 0 ? uint64_t(size) : 0;
    // A small stream is taken whole at once: reading it record by record
    // through libgsf costs more than the records' own parsing.
    constexpr uint64_t kCacheWhole = 4 << 20;
    if (size_ > 0 && size_ <= kCacheWhole) {
        cache_.resize(size_);
        if (!gsf_input_read(h_->stream.get(), size_, cache_.data()))
            throw Error(path + ": the compound file is damaged (its " + name_ + " stream cannot be read" +
                        (logged.empty() ? ")" : ": " + logged + ")"));
        if (!logged.empty()) throw Error(path + ": the compound file is damaged (" + logged + ")");
        cached_ = true;
    }
}

CompoundStream::~CompoundStream() = default;

bool CompoundStream::Read(uint64_t pos, size_t n, uint8_t* dst)
{
    problem_.clear();
    if (pos > size_ || n > size_ - pos) return false;
    if (n == 0) return true;
    if (cached_) {
        std::memcpy(dst, cache_.data() + pos, n);
        return true;
    }
    LogCapture capture(problem_);
    GsfInput* in = h_->stream.get();
    if (uint64_t(gsf_input_tell(in)) != pos && gsf_input_seek(in, gsf_off_t(pos), G_SEEK_SET)) return false;
    return gsf_input_read(in, n, dst) != nullptr;
}

void WriteCompoundFile(const std::string& path, const std::string& streamName, const void* data, size_t size)
{
    InitGsf();
    std::string logged;
    LogCapture capture(logged);
    GError* err = nullptr;
    std::unique_ptr<GsfOutput, GUnref<GsfOutput>> sink(gsf_output_stdio_new(path.c_str(), &err));
    if (!sink) {
        std::string why = Explain(err, logged);
        if (err) g_error_free(err);
        throw Error(path + ": cannot create the file (" + why + ")");
    }
    std::unique_ptr<GsfOutfile, GUnref<GsfOutfile>> ole(gsf_outfile_msole_new(sink.get()));
    std::unique_ptr<GsfOutput, GUnref<GsfOutput>> stream(
        gsf_outfile_new_child(ole.get(), streamName.c_str(), FALSE));
    bool ok = stream && gsf_output_write(stream.get(), size, static_cast<const guint8*>(data));
    ok = stream && gsf_output_close(stream.get()) && ok;
    ok = gsf_output_close(GSF_OUTPUT(ole.get())) && ok;  // closes the sink too
    if (!gsf_output_is_closed(sink.get())) ok = gsf_output_close(sink.get()) && ok;
    if (!ok) throw Error(path + ": cannot write the compound file" + (logged.empty() ? "" : " (" + logged + ")"));
}

}  // namespace wb::detail
