#include "ConnectionWords.h"

#include <cstring>

std::string VerificationText(TServerVerification verification)
{
    switch (verification) {
    case TServerVerification::Authority:
        return "сервер проверен центром сертификации";
    case TServerVerification::TrustedFingerprint:
        return "сервер проверен по доверенному отпечатку";
    case TServerVerification::None:
        break;
    }
    return "сервер не проверен";
}

std::string EncryptionWords(const TMySQLConnection& connection)
{
    return connection.Encrypted() ? connection.EncryptionText() : std::string("без шифрования");
}

std::string SecurityText(const TMySQLConnection& connection)
{
    std::string text = EncryptionWords(connection);
    // A plain connection says so alone: nothing was there to verify.
    if (connection.Encrypted())
        text += ", " + VerificationText(connection.Verification());
    return text;
}

namespace {

using TKind = TClientRefusal::TKind;
using TReason = TCertificateProblem::TReason;

const char* const kPasswordNotSent = " Соединение не установлено, пароль не отправлен.";
const char* const kNothingSent = "Соединение не установлено, ничего не отправлено.";

std::string Quoted(const std::string& text)
{
    return "«" + text + "»";
}

std::string HostPort(const TClientRefusal& refusal)
{
    return Quoted(refusal.Host) + ", порт " + std::to_string(refusal.Port);
}

std::string ReasonText(TReason reason, const TCertificateProblem& problem, const std::string& host)
{
    switch (reason) {
    case TReason::UnknownAuthority:
        return "он выдан центром сертификации, которому нет доверия";
    case TReason::WrongName:
        return "он выдан не на имя " + Quoted(host);
    case TReason::Expired:
        return "срок его действия истёк";
    case TReason::NotYetValid:
        return "срок его действия ещё не начался";
    case TReason::Other:
        break;
    }
    return problem.Detail;
}

std::string CertificateText(const TClientRefusal& refusal)
{
    static const TCertificateProblem none;
    const TCertificateProblem& problem = refusal.Certificate ? *refusal.Certificate : none;
    std::string reasons;
    for (const TReason reason : problem.Reasons)
        reasons += (reasons.empty() ? "" : "; ") + ReasonText(reason, problem, refusal.Host);
    std::string text = "Сертификат сервера " + HostPort(refusal) + " не прошёл проверку: " + reasons + ".";
    if (!problem.Pinned.empty())
        text += " Это не тот сертификат, которому вы доверились.";
    text += "\nОтпечаток сертификата (SHA-256):\n" + problem.Fingerprint;
    if (!problem.Pinned.empty())
        text += "\nОтпечаток, которому вы доверились:\n" + problem.Pinned;
    return text + "\n" + kNothingSent;
}

std::string PasswordLoginText(const TClientRefusal& refusal)
{
    std::string login = Quoted(refusal.Login);
    if (refusal.FullAuthentication)
        login += " с полной проверкой пароля";
    std::string why;
    switch (refusal.Channel) {
    case TClientRefusal::TChannel::LocalSocket:
        why = "соединение идёт через локальный сокет";
        break;
    case TClientRefusal::TChannel::Plain:
        why = "соединение не зашифровано";
        break;
    case TClientRefusal::TChannel::Unverified:
        why = "сертификат сервера не проверен";
        break;
    }
    return "Сервер запросил вход через " + login + ", при котором серверу передаётся сам пароль, а " + why
         + ". Brindlecast передаёт пароль так только по TLS и только серверу с проверенным сертификатом "
           "(шифрование «с проверкой сервера»)."
         + kPasswordNotSent;
}

// The TLS library's words, or what ended the wait where it has none.
std::string TlsDetail(const TClientRefusal& refusal)
{
    return refusal.Detail.empty() ? std::string("соединение прервано") : refusal.Detail;
}

std::string KindText(const TClientRefusal& refusal)
{
    switch (refusal.Kind) {
    case TKind::TimeLimit:
        return "Сервер не ответил за " + std::to_string(refusal.Seconds) + " с.";
    case TKind::ZeroByte:
        return "Имя хоста, имя пользователя или пароль содержит нулевой символ. Соединение не установлено.";
    case TKind::HostNotFound:
        return "Не удалось найти сервер " + Quoted(refusal.Host) + ": " + refusal.Detail;
    case TKind::ConnectionFailed:
        return "Не удалось соединиться с сервером " + HostPort(refusal) + ": " + std::strerror(refusal.Errno);
    case TKind::NoGreeting:
        return "Сервер " + HostPort(refusal) + " закрыл соединение, не прислав приветствия.";
    case TKind::GreetingLate:
        return "Сервер " + HostPort(refusal) + " не прислал приветствие за отведённое время.";
    case TKind::NotADatabaseServer:
        return "Собеседник " + HostPort(refusal) + " прислал не приветствие сервера баз данных.";
    case TKind::BadGreeting:
        return "Сервер " + HostPort(refusal) + " прислал неполное или непонятное приветствие.";
    case TKind::NoTls:
        return "Сервер " + HostPort(refusal) + " не предлагает шифрование (TLS), а оно требуется. " + kNothingSent;
    case TKind::ClosedBeforeTls:
        return "Сервер " + HostPort(refusal) + " закрыл соединение до начала TLS.";
    case TKind::TlsUnavailable:
        return "TLS недоступен: " + TlsDetail(refusal);
    case TKind::CAFileUnreadable:
        return "Не удалось прочитать сертификаты центра сертификации из файла " + Quoted(refusal.File) + ": "
             + TlsDetail(refusal);
    case TKind::TlsFailed:
        return "Не удалось установить TLS с сервером " + HostPort(refusal) + ": " + TlsDetail(refusal);
    case TKind::NoCertificate:
        return "Сервер " + HostPort(refusal) + " не предъявил сертификат.";
    case TKind::CertificateRefused:
        return CertificateText(refusal);
    case TKind::PasswordLogin:
        return PasswordLoginText(refusal);
    case TKind::DialogQuestion:
        return "Сервер (вход через «dialog») задал вопрос, на который Brindlecast ответить не может: "
             + Quoted(refusal.Question) + ". Соединение не установлено.";
    case TKind::OldGreeting:
        return std::string("Приветствие сервера оборвано или написано по протоколу старше 4.1: в нём нет данных "
                           "для безопасного входа.")
             + kPasswordNotSent;
    case TKind::OldPasswordLogin:
        return std::string("Сервер запросил вход через «mysql_old_password»: по ответу этого устаревшего способа "
                           "входа пароль легко восстановить, поэтому Brindlecast его не поддерживает.")
             + kPasswordNotSent;
    case TKind::UnknownLogin:
        return "Сервер запросил вход через " + Quoted(refusal.Login) + ", а Brindlecast такого способа входа не знает."
             + kPasswordNotSent;
    case TKind::FileNotNamed:
        return "Сервер запросил файл " + Quoted(refusal.File)
             + ", которого выполняемый запрос не называет в LOAD DATA LOCAL INFILE. Запрос отклонён, файл не "
               "отправлен.";
    case TKind::FileNotOpened:
        return "Не удалось открыть файл " + Quoted(refusal.File) + ": " + std::strerror(refusal.Errno);
    case TKind::FileNotRead:
        return std::string("Не удалось прочитать файл: ") + std::strerror(refusal.Errno);
    case TKind::FileNotSent:
        break;
    }
    return "Файл не отправлен.";
}

} // namespace

std::string RefusalText(const TClientRefusal& refusal)
{
    std::string text = KindText(refusal);
    if (refusal.LocalhostOverTcp)
        text += "\nС обязательным шифрованием программа соединяется по TCP и с «localhost»: через локальный сокет "
                "TLS не идёт. Если сервер слушает только сокет, выберите шифрование «когда сервер предлагает»: "
                "соединение через сокет не покидает этот компьютер.";
    return text;
}

std::string ErrorWords(const TMySQLConnection& connection)
{
    return connection.Refusal() ? RefusalText(*connection.Refusal()) : connection.GetErrorText();
}

std::string ErrorWords(const TMySQLCustomDataSet& dataSet)
{
    return ErrorWords(*dataSet.Connection());
}

std::string ErrorWords(const TMySQLOutcome& outcome)
{
    return outcome.Refusal ? RefusalText(*outcome.Refusal) : outcome.ErrorText;
}
