#include "LocalInfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace LocalInfile {

namespace {

// State of one file request: the open file, or why there is none.
struct TRequest {
    int Fd = -1;
    std::string Error;
};

int Init(void** state, const char* fileName, void* userData)
{
    auto* request = new TRequest;
    *state = request;
    const auto* allowed = static_cast<const std::vector<std::string>*>(userData);
    const std::string name = fileName ? fileName : "";
    if (!allowed || std::find(allowed->begin(), allowed->end(), name) == allowed->end()) {
        request->Error = "Сервер запросил файл «" + name
                       + "», которого выполняемый запрос не называет в LOAD DATA LOCAL INFILE. "
                         "Запрос отклонён, файл не отправлен.";
        return 1;
    }
    request->Fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (request->Fd < 0) {
        request->Error = "Не удалось открыть файл «" + name + "»: " + std::strerror(errno);
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
            request->Error = std::string("Не удалось прочитать файл: ") + std::strerror(errno);
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

int Error(void* state, char* message, unsigned int size)
{
    const auto* request = static_cast<const TRequest*>(state);
    const std::string text = request ? request->Error : std::string("Файл не отправлен.");
    if (size > 0) {
        // Cut at a whole UTF-8 character.
        std::size_t length = std::min<std::size_t>(text.size(), size - 1);
        while (length > 0 && length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
        std::memcpy(message, text.data(), length);
        message[length] = '\0';
    }
    return static_cast<int>(RefusedCode);
}

} // namespace

void Install(MYSQL* handle, const std::vector<std::string>* allowed)
{
    // 1, not the library's automatic mode: every request reaches the handler, which decides by the
    // statement's own words rather than by how the statement begins.
    const unsigned int on = 1;
    mysql_optionsv(handle, MYSQL_OPT_LOCAL_INFILE, &on);
    mysql_set_local_infile_handler(handle, Init, Read, End, Error, const_cast<std::vector<std::string>*>(allowed));
}

} // namespace LocalInfile
