#include "LocalInfile.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace LocalInfile {

namespace {

using TKind = TClientRefusal::TKind;

// State of one file request: the open file, and where a refusal goes.
struct TRequest {
    int Fd = -1;
    TFiles* Files = nullptr;

    void Refuse(TKind kind, const std::string& file, int error)
    {
        if (!Files)
            return;
        TClientRefusal refusal;
        refusal.Kind = kind;
        refusal.Code = RefusedCode;
        refusal.File = file;
        refusal.Errno = error;
        Files->Refusal = std::move(refusal);
    }
};

int Init(void** state, const char* fileName, void* userData)
{
    auto* request = new TRequest;
    *state = request;
    request->Files = static_cast<TFiles*>(userData);
    const std::string name = fileName ? fileName : "";
    if (!request->Files
        || std::find(request->Files->Allowed.begin(), request->Files->Allowed.end(), name)
               == request->Files->Allowed.end()) {
        request->Refuse(TKind::FileNotNamed, name, 0);
        return 1;
    }
    request->Fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (request->Fd < 0) {
        request->Refuse(TKind::FileNotOpened, name, errno);
        return 1;
    }
    return 0;
}

int Read(void* state, char* buffer, unsigned int size)
{
    auto* request = static_cast<TRequest*>(state);
    while (true) {
        const ssize_t n = read(request->Fd, buffer, size);
        if (n >= 0)
            return static_cast<int>(n);
        if (errno != EINTR) {
            request->Refuse(TKind::FileNotRead, {}, errno);
            return -1;
        }
    }
}

void End(void* state)
{
    auto* request = static_cast<TRequest*>(state);
    if (request && request->Fd >= 0)
        close(request->Fd);
    delete request;
}

// The library's error is only the code: why the request failed is in TFiles::Refusal.
int Error(void*, char* message, unsigned int size)
{
    if (size > 0)
        message[0] = '\0';
    return static_cast<int>(RefusedCode);
}

} // namespace

void Install(MYSQL* handle, TFiles* files)
{
    // 1, not the library's automatic mode: every request reaches the handler, which decides by the
    // statement's own words rather than by how the statement begins.
    const unsigned int on = 1;
    mysql_optionsv(handle, MYSQL_OPT_LOCAL_INFILE, &on);
    mysql_set_local_infile_handler(handle, Init, Read, End, Error, files);
}

} // namespace LocalInfile
