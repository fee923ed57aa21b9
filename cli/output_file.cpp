#include "cli/output_file.h"

#include <cerrno>
#include <cstring>

static void sayCannotWrite(const OutputFile& out, int error)
{
    std::fprintf(stderr, "trakmon: cannot write the %s %s: %s\n", out.what, out.path.c_str(),
                 std::strerror(error));
}

bool openOutputFile(OutputFile& out, const std::string& path, const char* what)
{
    out.path = path;
    out.what = what;
    out.error = 0;
    out.file = std::fopen(path.c_str(), "wb");
    if (out.file == nullptr) sayCannotWrite(out, errno);
    return out.file != nullptr;
}

void writeOutputFile(OutputFile& out, const std::string& text)
{
    if (out.file == nullptr || out.error != 0) return;
    errno = 0;
    bool written = std::fwrite(text.data(), 1, text.size(), out.file) == text.size();
    if (written) written = std::fflush(out.file) == 0;
    if (!written) out.error = errno != 0 ? errno : EIO;
}

bool closeOutputFile(OutputFile& out)
{
    if (out.file == nullptr) return true;
    errno = 0;
    bool closed = std::fclose(out.file) == 0;
    out.file = nullptr;
    int error = out.error != 0 ? out.error : (closed ? 0 : (errno != 0 ? errno : EIO));
    if (error != 0) sayCannotWrite(out, error);
    return error == 0;
}
