// Writing a compound file through libgsf: only tests and fuzz targets wrap
// hand-made workbook streams, so only they link this and libgsf (the
// programs read compound files with our own reader and start faster without
// GLib).
#include "workbook/Compound.h"

#include "workbook/Workbook.h"

#include <gsf/gsf.h>

#include <memory>
#include <mutex>
#include <string>

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
            if (ch == '\n')
                ch = ' ';
        if (!tCapture->empty())
            tCapture->append("; ");
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
        if (p)
            g_object_unref(p);
    }
};

std::string Explain(GError* err, const std::string& logged)
{
    std::string why;
    if (err && err->message)
        why = err->message;
    if (!logged.empty())
        why += (why.empty() ? "" : "; ") + logged;
    return why;
}

}  // namespace

void WriteCompoundFile(const std::string& path, const std::string& streamName, const void* data, size_t size)
{
    InitGsf();
    std::string logged;
    LogCapture capture(logged);
    GError* err = nullptr;
    std::unique_ptr<GsfOutput, GUnref<GsfOutput>> sink(gsf_output_stdio_new(path.c_str(), &err));
    if (!sink) {
        std::string why = Explain(err, logged);
        if (err)
            g_error_free(err);
        throw Error(path + ": cannot create the file (" + why + ")");
    }
    std::unique_ptr<GsfOutfile, GUnref<GsfOutfile>> ole(gsf_outfile_msole_new(sink.get()));
    std::unique_ptr<GsfOutput, GUnref<GsfOutput>> stream(gsf_outfile_new_child(ole.get(), streamName.c_str(), FALSE));
    bool ok = stream && gsf_output_write(stream.get(), size, static_cast<const guint8*>(data));
    ok = stream && gsf_output_close(stream.get()) && ok;
    ok = gsf_output_close(GSF_OUTPUT(ole.get())) && ok;  // closes the sink too
    if (!gsf_output_is_closed(sink.get()))
        ok = gsf_output_close(sink.get()) && ok;
    if (!ok)
        throw Error(path + ": cannot write the compound file" + (logged.empty() ? "" : " (" + logged + ")"));
}

}  // namespace wb::detail
