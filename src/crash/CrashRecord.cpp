#include "CrashRecord.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

// The record is text, one "key value" line each, values escaped so that a line break or a TAB in a
// text cannot end or split its line; the module map comes last, after a line "maps", as it is.

namespace {

constexpr std::string_view kMagic = "brindlecast-crash-record 1";

const char* KindName(TCrashKind kind)
{
    switch (kind) {
    case TCrashKind::Signal:
        return "signal";
    case TCrashKind::Terminate:
        return "terminate";
    case TCrashKind::Exception:
        return "exception";
    }
    return "signal";
}

// Hands text on in pieces, with backslash, line breaks and TAB escaped. No allocation of its own,
// so that a signal handler can use it.
template <class TPut>
void Escape(std::string_view text, TPut put)
{
    std::size_t plain = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char* escape = nullptr;
        switch (text[i]) {
        case '\\':
            escape = "\\\\";
            break;
        case '\n':
            escape = "\\n";
            break;
        case '\r':
            escape = "\\r";
            break;
        case '\t':
            escape = "\\t";
            break;
        default:
            continue;
        }
        put(text.substr(plain, i - plain));
        put(std::string_view(escape));
        plain = i + 1;
    }
    put(text.substr(plain));
}

std::string Escaped(std::string_view text)
{
    std::string escaped;
    Escape(text, [&escaped](std::string_view piece) { escaped += piece; });
    return escaped;
}

// Collects output in a buffer of its own and writes it to a descriptor in blocks. Nothing here
// allocates or takes a lock, so that a signal handler can use it.
class TRecordWriter {
public:
    explicit TRecordWriter(int fd) : FFd(fd) {}

    bool Finish()
    {
        Flush();
        return FOk;
    }

    void Put(char ch)
    {
        if (FUsed == sizeof FBuffer)
            Flush();
        FBuffer[FUsed++] = ch;
    }

    void Put(std::string_view text)
    {
        for (char ch : text)
            Put(ch);
    }

    void PutEscaped(std::string_view text)
    {
        Escape(text, [this](std::string_view piece) { Put(piece); });
    }

    void PutNumber(std::uint64_t value, bool negative = false)
    {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        if (negative)
            Put('-');
        while (count > 0)
            Put(digits[--count]);
    }

    void PutSigned(std::int64_t value)
    {
        const bool negative = value < 0;
        PutNumber(negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value),
                  negative);
    }

    void PutHex(std::uint64_t value)
    {
        Put("0x");
        char digits[16];
        int count = 0;
        do {
            digits[count++] = "0123456789abcdef"[value & 15];
            value >>= 4;
        } while (value != 0);
        while (count > 0)
            Put(digits[--count]);
    }

    void Line(const char* key, std::string_view value)
    {
        Put(key);
        Put(' ');
        PutEscaped(value);
        Put('\n');
    }

    void SignedLine(const char* key, std::int64_t value)
    {
        Put(key);
        Put(' ');
        PutSigned(value);
        Put('\n');
    }

    void HexLine(const char* key, std::uint64_t value)
    {
        Put(key);
        Put(' ');
        PutHex(value);
        Put('\n');
    }

    // The whole of a file, as it is (used for the module map, which the kernel makes as it is read).
    void CopyFile(const char* path)
    {
        Flush();
        const int in = open(path, O_RDONLY | O_CLOEXEC);
        if (in < 0)
            return;
        char block[4096];
        while (true) {
            const ssize_t got = read(in, block, sizeof block);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            WriteAll(block, static_cast<std::size_t>(got));
        }
        close(in);
    }

private:
    void Flush()
    {
        WriteAll(FBuffer, FUsed);
        FUsed = 0;
    }

    void WriteAll(const char* data, std::size_t size)
    {
        while (size > 0 && FOk) {
            const ssize_t done = write(FFd, data, size);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0) {
                FOk = false;
                break;
            }
            data += done;
            size -= static_cast<std::size_t>(done);
        }
    }

    int FFd;
    bool FOk = true;
    std::size_t FUsed = 0;
    char FBuffer[4096];
};

std::string Unescape(std::string_view text)
{
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            plain += text[i];
            continue;
        }
        switch (text[++i]) {
        case 'n':
            plain += '\n';
            break;
        case 'r':
            plain += '\r';
            break;
        case 't':
            plain += '\t';
            break;
        default:
            plain += text[i];
        }
    }
    return plain;
}

template <class TNumber>
bool ReadNumber(std::string_view text, TNumber& value)
{
    int base = 10;
    if (text.starts_with("0x")) {
        text.remove_prefix(2);
        base = 16;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

// Splits an escaped value at its TABs (an escaped TAB is "\t" and no separator).
std::vector<std::string_view> Fields(std::string_view value)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t at = value.find('\t'); at != std::string_view::npos; at = value.find('\t', start)) {
        fields.push_back(value.substr(start, at - start));
        start = at + 1;
    }
    fields.push_back(value.substr(start));
    return fields;
}

} // namespace

std::string EnvironmentLines(const TCrashEnvironment& environment)
{
    std::string text;
    for (const auto& [key, value] : {std::pair{"version", &environment.Version},
                                     std::pair{"build", &environment.Build},
                                     std::pair{"qt", &environment.Qt},
                                     std::pair{"client", &environment.Client},
                                     std::pair{"system", &environment.System},
                                     std::pair{"executable", &environment.Executable}})
        text += std::string(key) + ' ' + Escaped(*value) + '\n';
    return text;
}

std::string ConsoleLines(const std::vector<TCrashConsole>& consoles)
{
    std::string text;
    // Each field is escaped on its own, so that the TABs between them stay separators.
    for (const TCrashConsole& console : consoles)
        text += "console " + Escaped(console.Host) + '\t' + std::to_string(console.Port) + '\t'
                + Escaped(console.User) + '\t' + Escaped(console.ServerVersion) + '\n';
    return text;
}

bool WriteCrashRecord(int fd, const TCrashEvent& event, std::string_view environmentLines,
                      std::string_view consoleLines)
{
    TRecordWriter out(fd);
    out.Put(kMagic);
    out.Put('\n');
    out.Line("kind", KindName(event.Kind));
    out.SignedLine("signal", event.Signal);
    out.SignedLine("code", event.Code);
    out.HexLine("address", event.Address);
    out.SignedLine("sender", event.Sender);
    out.SignedLine("pid", getpid());
    out.SignedLine("tid", syscall(SYS_gettid));
    // The kernel's name of the calling thread, at most 15 bytes.
    char threadName[17] = {};
    prctl(PR_GET_NAME, threadName, 0, 0, 0);
    out.Line("thread", threadName);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    out.SignedLine("time", now.tv_sec);
    if (event.ExceptionType)
        out.Line("exception-type", event.ExceptionType);
    if (event.ExceptionText)
        out.Line("exception-text", event.ExceptionText);
    if (event.Pc != 0)
        out.HexLine("pc", event.Pc);
    for (std::size_t i = 0; i < event.FrameCount; ++i)
        out.HexLine("frame", event.Frames[i]);
    out.HexLine("anchor", reinterpret_cast<std::uintptr_t>(&WriteCrashRecord));
    out.Put(environmentLines);
    out.Put(consoleLines);
    out.Put("maps\n");
    out.CopyFile("/proc/self/maps");
    return out.Finish();
}

std::optional<TCrashRecord> ParseCrashRecord(std::string_view text)
{
    if (!text.starts_with(kMagic) || text.size() == kMagic.size() || text[kMagic.size()] != '\n')
        return std::nullopt;
    text.remove_prefix(kMagic.size() + 1);
    TCrashRecord record;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line == "maps") {
            record.Maps = std::string(text);
            break;
        }
        const std::size_t space = line.find(' ');
        const std::string_view key = line.substr(0, space);
        const std::string_view value = space == std::string_view::npos ? std::string_view()
                                                                        : line.substr(space + 1);
        bool ok = true;
        if (key == "kind") {
            if (value == "terminate")
                record.Kind = TCrashKind::Terminate;
            else if (value == "exception")
                record.Kind = TCrashKind::Exception;
            else
                ok = value == "signal";
        } else if (key == "signal") {
            ok = ReadNumber(value, record.Signal);
        } else if (key == "code") {
            ok = ReadNumber(value, record.Code);
        } else if (key == "address") {
            ok = ReadNumber(value, record.Address);
        } else if (key == "sender") {
            ok = ReadNumber(value, record.Sender);
        } else if (key == "pid") {
            ok = ReadNumber(value, record.Pid);
        } else if (key == "tid") {
            ok = ReadNumber(value, record.Tid);
        } else if (key == "thread") {
            record.ThreadName = Unescape(value);
        } else if (key == "time") {
            ok = ReadNumber(value, record.Time);
        } else if (key == "exception-type") {
            record.ExceptionType = Unescape(value);
        } else if (key == "exception-text") {
            record.ExceptionText = Unescape(value);
        } else if (key == "pc") {
            ok = ReadNumber(value, record.Pc);
        } else if (key == "frame") {
            std::uintptr_t frame = 0;
            ok = ReadNumber(value, frame);
            record.Frames.push_back(frame);
        } else if (key == "anchor") {
            ok = ReadNumber(value, record.Anchor);
        } else if (key == "version") {
            record.Environment.Version = Unescape(value);
        } else if (key == "build") {
            record.Environment.Build = Unescape(value);
        } else if (key == "qt") {
            record.Environment.Qt = Unescape(value);
        } else if (key == "client") {
            record.Environment.Client = Unescape(value);
        } else if (key == "system") {
            record.Environment.System = Unescape(value);
        } else if (key == "executable") {
            record.Environment.Executable = Unescape(value);
        } else if (key == "console") {
            const std::vector<std::string_view> fields = Fields(value);
            TCrashConsole console;
            ok = fields.size() == 4 && ReadNumber(fields[1], console.Port);
            if (ok) {
                console.Host = Unescape(fields[0]);
                console.User = Unescape(fields[2]);
                console.ServerVersion = Unescape(fields[3]);
                record.Consoles.push_back(std::move(console));
            }
        }
        if (!ok)
            return std::nullopt;
    }
    return record;
}

std::optional<TCrashRecord> ReadCrashRecord(int fd)
{
    std::string text;
    char block[65536];
    ssize_t got;
    while ((got = read(fd, block, sizeof block)) != 0) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        text.append(block, static_cast<std::size_t>(got));
    }
    return ParseCrashRecord(text);
}
