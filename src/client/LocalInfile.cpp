#include "LocalInfile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace LocalInfile {

namespace {

struct TToken {
    enum class TKind { Word, String, Other };
    TKind Kind;
    std::string Text;                      // a word in upper case; a string's first reading
    std::optional<std::string> Unescaped;  // a string's reading without backslash escapes, if it differs
};

bool IsWordByte(unsigned char c)
{
    return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}

bool IsBlank(unsigned char c)
{
    return c <= 32;
}

// The text of a quoted string whose opening quote is at `open`, and the position after its closing
// quote: a doubled quote stands for one, and with escapes a backslash escapes the next character.
std::pair<std::string, std::size_t> ReadQuoted(std::string_view sql, std::size_t open, bool escapes)
{
    const char quote = sql[open];
    std::string text;
    for (std::size_t i = open + 1; i < sql.size(); ++i) {
        const char c = sql[i];
        if (escapes && c == '\\' && i + 1 < sql.size()) {
            const char next = sql[++i];
            switch (next) {
            case '0': text += '\0'; break;
            case 'b': text += '\b'; break;
            case 'n': text += '\n'; break;
            case 'r': text += '\r'; break;
            case 't': text += '\t'; break;
            case 'Z': text += '\x1A'; break;
            // The server keeps these two escaped: they are LIKE's wildcards.
            case '%':
            case '_': text += '\\'; text += next; break;
            default: text += next; break;
            }
        } else if (c == quote && i + 1 < sql.size() && sql[i + 1] == quote) {
            text += quote;
            ++i;
        } else if (c == quote) {
            return {text, i + 1};
        } else {
            text += c;
        }
    }
    return {text, sql.size()};
}

// A string token from its opening quote at `at`, in the server's default reading (backslash
// escapes) and, where it differs, in the reading with escapes switched off; moves `at` past the later
// of the two ends, so that neither reading leaks words of the string into the text.
TToken ReadString(std::string_view sql, std::size_t& at)
{
    auto [escaped, escapedEnd] = ReadQuoted(sql, at, true);
    auto [raw, rawEnd] = ReadQuoted(sql, at, false);
    at = std::max(escapedEnd, rawEnd);
    TToken token{TToken::TKind::String, std::move(escaped), std::nullopt};
    if (raw != token.Text)
        token.Unescaped = std::move(raw);
    return token;
}

std::vector<TToken> Tokens(std::string_view sql)
{
    std::vector<TToken> tokens;
    bool inRunComment = false; // inside /*! ... */, whose text the server runs
    std::size_t at = 0;
    while (at < sql.size()) {
        const auto c = static_cast<unsigned char>(sql[at]);
        const auto next = [&](std::size_t k) { return at + k < sql.size() ? sql[at + k] : '\0'; };
        if (IsBlank(c)) {
            ++at;
        } else if (c == '#' || (c == '-' && next(1) == '-' && (at + 2 == sql.size() || IsBlank(static_cast<unsigned char>(next(2)))))) {
            const std::size_t end = sql.find('\n', at);
            at = end == std::string_view::npos ? sql.size() : end + 1;
        } else if (c == '/' && next(1) == '*') {
            if (next(2) == '!' || (next(2) == 'M' && next(3) == '!')) {
                at += next(2) == '!' ? 3 : 4;
                while (at < sql.size() && std::isdigit(static_cast<unsigned char>(sql[at])))
                    ++at;
                inRunComment = true;
            } else {
                const std::size_t end = sql.find("*/", at + 2);
                at = end == std::string_view::npos ? sql.size() : end + 2;
            }
        } else if (c == '*' && next(1) == '/' && inRunComment) {
            inRunComment = false;
            at += 2;
        } else if (c == '\'' || c == '"') {
            tokens.push_back(ReadString(sql, at));
        } else if (c == '`') {
            const std::size_t end = sql.find('`', at + 1);
            // A doubled backquote stays inside the name: the next search starts after it.
            std::size_t close = end;
            while (close != std::string_view::npos && close + 1 < sql.size() && sql[close + 1] == '`')
                close = sql.find('`', close + 2);
            at = close == std::string_view::npos ? sql.size() : close + 1;
            tokens.push_back({TToken::TKind::Other, "`", std::nullopt});
        } else if (IsWordByte(c)) {
            std::string word;
            while (at < sql.size() && IsWordByte(static_cast<unsigned char>(sql[at])))
                word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[at++])));
            tokens.push_back({TToken::TKind::Word, std::move(word), std::nullopt});
        } else {
            tokens.push_back({TToken::TKind::Other, std::string(1, static_cast<char>(c)), std::nullopt});
            ++at;
        }
    }
    return tokens;
}

bool IsWord(const std::vector<TToken>& tokens, std::size_t i, const char* word)
{
    return i < tokens.size() && tokens[i].Kind == TToken::TKind::Word && tokens[i].Text == word;
}

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

std::vector<std::string> NamedFiles(std::string_view sql)
{
    const std::vector<TToken> tokens = Tokens(sql);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (!IsWord(tokens, i, "LOAD") || !(IsWord(tokens, i + 1, "DATA") || IsWord(tokens, i + 1, "XML")))
            continue;
        std::size_t k = i + 2;
        if (IsWord(tokens, k, "LOW_PRIORITY") || IsWord(tokens, k, "CONCURRENT"))
            ++k;
        if (!IsWord(tokens, k, "LOCAL") || !IsWord(tokens, k + 1, "INFILE"))
            continue;
        if (k + 2 < tokens.size() && tokens[k + 2].Kind == TToken::TKind::String) {
            names.push_back(tokens[k + 2].Text);
            if (tokens[k + 2].Unescaped)
                names.push_back(*tokens[k + 2].Unescaped);
        }
    }
    return names;
}

void Install(MYSQL* handle, const std::vector<std::string>* allowed)
{
    // 1, not the library's automatic mode: every request reaches the handler, which decides by the
    // statement's own words rather than by how the statement begins.
    const unsigned int on = 1;
    mysql_optionsv(handle, MYSQL_OPT_LOCAL_INFILE, &on);
    mysql_set_local_infile_handler(handle, Init, Read, End, Error, const_cast<std::vector<std::string>*>(allowed));
}

} // namespace LocalInfile
